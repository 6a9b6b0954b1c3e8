// The one place where the operations of the other areas are plugged into the main form: the
// hooks at its fixed points and the commands of its buttons and menus. Each area adds its line.
#include "app/QeltaConfigView.h"

FormHooks DefaultFormHooks() {
  FormHooks hooks;
  // Still empty: discovery start and stop, the read-out list loader, the context menus, the
  // boot step, the list's click handlers and the record address are filled by their areas.
  return hooks;
}

void InstallAreaCommands(CQeltaConfigView& /*view*/) {
  // Each area registers its commands here, e.g. InstallNetworkCommands(view);
}

std::unique_ptr<CQeltaConfigView> CreateMainForm(qelta::UiPort& ui, FormEnvironment env) {
  auto view = std::make_unique<CQeltaConfigView>(ui, std::move(env), DefaultFormHooks());
  InstallAreaCommands(*view);
  return view;
}

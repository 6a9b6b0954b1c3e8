// The one place where the operations of the other areas are plugged into the main form: the
// hooks at its fixed points and the commands of its buttons and menus. Each area adds its lines.
#include "app/BaseStationListOps.h"
#include "app/CommIdAssignment.h"
#include "app/DefaultUpload.h"
#include "app/FirmwareCommands.h"
#include "app/InventoryCommand.h"
#include "app/ParamsCommands.h"
#include "app/QeltaConfigView.h"
#include "app/RadioChannel.h"

FormHooks DefaultFormHooks() {
  FormHooks hooks;
  hooks.loadReadoutList = [](CQeltaConfigView& view) { qelta::LoadReadSetupForForm(view); };
  qelta::network::InstallNetworkHooks(hooks);
  hooks.bootStep = [](CQeltaConfigView& view) { qelta::RunFirmwareUpload(view); };
  return hooks;
}

void InstallAreaCommands(CQeltaConfigView& view) {
  qelta::InstallParamsCommands(view);
  qelta::network::InstallNetworkCommands(view);
  qelta::InstallFirmwareUploadCommands(view);
  qelta::InstallCommIdCommands(view);
  qelta::InstallRadioChannelCommands(view);
  qelta::InstallDefaultUploadCommands(view);
  qelta::fleet::InstallInventoryCommands(view);
}

std::unique_ptr<CQeltaConfigView> CreateMainForm(qelta::UiPort& ui, FormEnvironment env) {
  auto view = std::make_unique<CQeltaConfigView>(ui, std::move(env), DefaultFormHooks());
  InstallAreaCommands(*view);
  return view;
}

#include "app/LinkSettings.h"

#include "core/SettingsPropertyBag.h"
#include "halvex/HalvexCtrl.h"
#include "ui/UiPort.h"

qelta::DialogModel LinkSettingsDialog(const CHalvexCtrl& link) {
  qelta::DialogModel page;
  page.name = linkpage::kDialogName;
  page.title = linkpage::kTitle;
  qelta::DialogField general;
  general.controlId = linkpage::kPage;
  general.name = "general";
  general.label = "General";
  general.kind = qelta::FieldKind::Group;
  page.Add(std::move(general));
  auto check = [&page](int id, const std::string& name, const std::string& label, bool on) {
    qelta::DialogField field;
    field.controlId = id;
    field.name = name;
    field.label = label;
    field.kind = qelta::FieldKind::Check;
    field.value.assign(1, on ? '1' : '0');
    page.Add(std::move(field));
  };
  check(linkpage::kBootTypeCheck, "boottype", "Automatic BOOT mode set", link.GetBootType());
  check(linkpage::kResetTypeCheck, "resettype", "Automatic RESET", link.GetResettype());
  return page;
}

bool ShowLinkSettings(CHalvexCtrl& link, qelta::UiPort& ui, SettingsStore& settings) {
  qelta::DialogModel page = LinkSettingsDialog(link);
  if (!ui.RunDialog(page)) return false;
  // A check box counts as set for "1" only, as the window writes it.
  const bool bootType = page.Value(linkpage::kBootTypeCheck) == "1";
  const bool resetType = page.Value(linkpage::kResetTypeCheck) == "1";
  if (bootType != link.GetBootType()) link.SetBootType(bootType);
  if (resetType != link.GetResettype()) link.SetResettype(resetType);
  if (!link.IsModified()) return true;
  SettingsPropertyBag bag(settings);
  link.SaveProperties(bag);
  if (bag.FailedError() != 0)
    ui.MessageBox("Could not store \"" + bag.FailedName() +
                      "\", error: " + std::to_string(bag.FailedError()) + ".",
                  "Error", qelta::MessageButtons::Ok, qelta::MessageIcon::Error);
  return true;
}

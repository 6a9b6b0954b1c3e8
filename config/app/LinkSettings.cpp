#include "app/LinkSettings.h"

#include "app/QeltaConfigView.h"
#include "halvex/HalvexCtrl.h"

bool SettingsPropertyBag::ReadBool(const std::string& name, bool* value) const {
  SettingsDocument doc;
  if (store_.Open(doc) != 0) return false;
  std::optional<uint32_t> number = ReadNumberValue(doc, name);
  if (!number) return false;
  *value = *number != 0;
  return true;
}

void SettingsPropertyBag::WriteBool(const std::string& name, bool value) {
  int e = store_.WriteNumber(name, value ? 1 : 0);
  if (e != 0 && failedError_ == 0) {
    failedName_ = name;
    failedError_ = e;
  }
}

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

bool ShowLinkSettings(CQeltaConfigView& form) {
  CHalvexCtrl& link = form.link();
  qelta::DialogModel page = LinkSettingsDialog(link);
  if (!form.ui().RunDialog(page)) return false;
  // A check box counts as set for "1" only, as the window writes it.
  const bool bootType = page.Value(linkpage::kBootTypeCheck) == "1";
  const bool resetType = page.Value(linkpage::kResetTypeCheck) == "1";
  if (bootType != link.GetBootType()) link.SetBootType(bootType);
  if (resetType != link.GetResettype()) link.SetResettype(resetType);
  if (!link.IsModified()) return true;
  SettingsPropertyBag bag(form.settings());
  link.SaveProperties(bag);
  if (bag.FailedError() != 0)
    form.Message("Could not store \"" + bag.FailedName() +
                     "\", error: " + std::to_string(bag.FailedError()) + ".",
                 "Error");
  return true;
}

// The link control's property page (its "General" page, dialog 200) as the window's "Link
// settings" dialog, and the property bag that keeps the link's persistent properties ("BootType",
// "ResetType") in the settings file beside the form's own values.
#pragma once

#include <string>

#include "app/SettingsStore.h"
#include "halvex/PropertyBag.h"
#include "ui/DialogModel.h"

class CHalvexCtrl;
class CQeltaConfigView;

namespace linkpage {
constexpr const char* kDialogName = "CHalvexPropPage";
constexpr const char* kTitle = "Link settings";
constexpr int kPage = 200;            // the page: its caption frames the check boxes
constexpr int kBootTypeCheck = 201;   // bound to BootType
constexpr int kResetTypeCheck = 202;  // bound to Resettype
}  // namespace linkpage

// Each property is a number (0 or 1) of the settings file; a value that is missing or of the
// wrong kind reads as absent, so the link keeps its default. Writes open the file afresh.
class SettingsPropertyBag : public halvex::PropertyBag {
 public:
  explicit SettingsPropertyBag(SettingsStore& store) : store_(store) {}
  bool ReadBool(const std::string& name, bool* value) const override;
  void WriteBool(const std::string& name, bool value) override;
  // The first failed write since construction: the value's name and errno (0: none failed).
  const std::string& FailedName() const { return failedName_; }
  int FailedError() const { return failedError_; }

 private:
  SettingsStore& store_;
  std::string failedName_;
  int failedError_ = 0;
};

// The page filled from the link's current properties.
qelta::DialogModel LinkSettingsDialog(const CHalvexCtrl& link);

// Shows the page; on OK sets the properties the user changed and, when that modified the link's
// persistent state, stores it. True when OK was pressed.
bool ShowLinkSettings(CQeltaConfigView& form);

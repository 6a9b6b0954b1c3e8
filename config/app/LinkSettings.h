// The link control's property page (its "General" page, dialog 200) as the window's "Link
// settings" dialog. The link's persistent properties are kept through core/SettingsPropertyBag.h.
#pragma once

#include <string>

#include "core/SettingsStore.h"
#include "ui/DialogModel.h"

class CHalvexCtrl;

namespace qelta {
class UiPort;
}

namespace linkpage {
constexpr const char* kDialogName = "CHalvexPropPage";
constexpr const char* kTitle = "Link settings";
constexpr int kPage = 200;            // the page: its caption frames the check boxes
constexpr int kBootTypeCheck = 201;   // bound to BootType
constexpr int kResetTypeCheck = 202;  // bound to Resettype
}  // namespace linkpage

// The page filled from the link's current properties.
qelta::DialogModel LinkSettingsDialog(const CHalvexCtrl& link);

// Shows the page; on OK sets the properties the user changed and, when that modified the link's
// persistent state, stores it. True when OK was pressed.
bool ShowLinkSettings(CHalvexCtrl& link, qelta::UiPort& ui, SettingsStore& settings);

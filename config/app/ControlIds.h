// Identifiers of the main form's controls and its menu commands (the output list's images are in
// core/OutputImages.h). The numbers are the form layout's own; operations and front ends refer to
// controls only by these.
#pragma once

#include "core/OutputImages.h"

namespace ids {

// The window itself: its text in the ControlModel is the window title.
constexpr int kWindow = 0;

// Controls of the main form.
constexpr int kLinkControl = 1000;
constexpr int kOutputList = 1009;
constexpr int kClearListButton = 1011;          // "C&lear list"
constexpr int kEditWithNotepadButton = 1012;    // "Edit with Notepad"
constexpr int kCloseButton = 1014;              // "C&lose"
constexpr int kReadDeviceInfoButton = 1015;     // "&Read Device Info"
constexpr int kFileNameLabel = 1025;            // name of the open configuration file
constexpr int kCommIdField = 1026;              // comm ID edit field (digits only)
constexpr int kSetNewCommIdButton = 1027;       // "&Set new"
constexpr int kSetConfigButton = 1029;          // "Set"
constexpr int kNextCommIdButton = 1030;         // shows the next comm ID
constexpr int kNextCommIdLabel = 1031;          // "Set next CommID:"
constexpr int kGetConfigButton = 1032;          // "Get"
constexpr int kFileLabel = 1034;                // "File:"
constexpr int kDiscoveryStatusLabel = 1038;     // "Base station discovery"
constexpr int kResetBaseStationsButton = 1053;  // "Reset" (clears the base station list)
constexpr int kRadioTypeGroup = 1057;           // "Radio type"
constexpr int kRadioType1 = 1060;
constexpr int kRadioType2 = 1061;
constexpr int kRadioType3 = 1062;
constexpr int kCommIdGroup = 1063;              // "Comm ID"
constexpr int kCommIdLabel = 1064;              // "CommID:"
constexpr int kViewBaseStationsButton = 32789;  // "View" (same command as the menu item)

// Commands (main menu, context menus, buttons that share the number).
constexpr int kCmdFirmwareUpdate = 32771;  // "FirmWare update..."
constexpr int kCmdCom1 = 32773;            // "COM1" .. "COM8" = 32773 .. 32780
constexpr int kCmdCom8 = 32780;
constexpr int kCmdOpenConfigFile = 32781;     // "&Open Configuration File..."
constexpr int kCmdAbout = 57664;              // "&About QeltaConfig..."
constexpr int kCmdExit = 57665;               // "E&xit"
constexpr int kCmdViewBaseStations = 32789;   // "View base stations"
constexpr int kCmdClearBaseStations = 32788;  // "Clear list" (base station menu)
constexpr int kCmdWeb = 32787;                // "Web"
constexpr int kCmdViewEthernetSettings = 104;
constexpr int kCmdSetDefaultEthernet = 32790;
constexpr int kCmdChannel = 32791;
constexpr int kCmdDeviceInfo = 32793;
constexpr int kCmdRebootModule = 32794;
constexpr int kCmdIpSettings = 32795;
constexpr int kCmdSetDescription = 32796;
constexpr int kCmdSameChannel = 32797;
constexpr int kCmdUploadDefaultEthernet = 32798;
constexpr int kCmdResetBaseStations = 32799;
constexpr int kCmdUploadAllDefaults = 32800;
constexpr int kCmdSetConfigFile = 32801;
constexpr int kCmdSelectAll = 32802;
constexpr int kCmdRebootModules = 32803;
constexpr int kCmdSetRadioType = 32804;
constexpr int kCmdDeviceChannel = 32805;
constexpr int kCmdDeviceRadioType = 32807;
constexpr int kCmdIpRecovery = 32808;
constexpr int kCmdLinkSettings = 32810;     // "Link settings..." (the link control's property page)
constexpr int kCmdCheckConfigFile = 32811;  // "Check configuration file" (a dry run of "Set")
constexpr int kCmdInventory = 32812;        // "Inventory..." (base station menus)
constexpr int kCmdCompareWithDevice = 32820;  // "Compare with device" (File menu)
constexpr int kCmdCompareStations = 32821;    // "Compare with configuration file" (stations)

// The form's one-shot start timer.
constexpr int kStartTimer = 1;
constexpr int kStartTimerMs = 300;

}  // namespace ids

// The module operations of the base station menus as the form's commands: default settings,
// reboot, IP settings, IP recovery and description, and the routing of their commands. The work on
// each station of default settings and reboots is in modules/.
#pragma once

#include <vector>

#include "app/QeltaConfigView.h"
#include "modules/DefaultSettingsCheck.h"
#include "network/BaseStationRecord.h"

namespace qelta::network {

// "Upload default Ethernet settings": the selected base station rows.
void UploadDefaultEthernetSettings(CQeltaConfigView& view);
// "Set default Ethernet settings": selectedBaseStation alone.
void SetDefaultEthernetSettings(CQeltaConfigView& view);
// The default settings checked against what each module holds first (selectedBaseStation alone
// when set, else the selected rows): posted only where a value differs, or (dry run) nothing
// posted. One outcome per station in list order.
std::vector<DefaultsOutcome> CheckDefaultEthernetSettings(CQeltaConfigView& view,
                                                          DefaultsMode mode);

// Reboots selectedBaseStation's module: by the discovery protocol's reboot request when its MAC
// is known, through the reboot form otherwise. With confirm the user is asked first.
void RebootModule(CQeltaConfigView& view, bool confirm);
// "Reboot Ethernet modules": every selected station in turn, without asking.
void RebootModules(CQeltaConfigView& view);

// "IP address settings" and "IP recovery" on selectedBaseStation.
void EditIpSettings(CQeltaConfigView& view);
void RecoverIpSettings(CQeltaConfigView& view);
// "Set description" on selectedBaseStation.
void EditDescription(CQeltaConfigView& view);

// Routes the commands of these operations (and of the view of a module's settings).
void InstallWebCommands(CQeltaConfigView& view);

}  // namespace qelta::network

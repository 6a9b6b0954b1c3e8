// The module operations of the base station menus that work through the web client or the
// discovery protocol's requests: default settings, reboot, IP settings, IP recovery and
// description, and the routing of their commands.
#pragma once

#include "app/QeltaConfigView.h"
#include "network/BaseStationRecord.h"

namespace qelta::fleet {
class FleetRun;
}

namespace qelta::network {

// Answer files in the working folder, replaced on every run and kept afterwards.
inline constexpr const char* kDefaultSetupFile = "default_setup.html";
inline constexpr const char* kGpioSetupFile = "gpio_setup.html";
inline constexpr const char* kRebootAnswerFile = "reboot.html";
inline constexpr const char* kRebootHeaderFile = "reboot_headers.txt";

inline constexpr int kRebootLockWaitMs = 3000;
inline constexpr int kTableClearLockWaitMs = 1000;

// "Upload default Ethernet settings": the selected base station rows.
void UploadDefaultEthernetSettings(CQeltaConfigView& view);
// "Set default Ethernet settings": selectedBaseStation alone.
void SetDefaultEthernetSettings(CQeltaConfigView& view);

// Reboots selectedBaseStation's module: by the discovery protocol's reboot request when its MAC
// is known, through the reboot form otherwise. With confirm the user is asked first.
void RebootModule(CQeltaConfigView& view, bool confirm);
// "Reboot Ethernet modules": every selected station in turn, without asking.
void RebootModules(CQeltaConfigView& view);

// The default Ethernet and serial settings posted to each station (see the operation).
// records: count copies; at most 256 are worked on. `run`: the fleet run of a command that has
// further phases (null: a run of its own).
void ApplyDefaultEthernetSettings(CQeltaConfigView& view, const BaseStationRecord* records,
                                  unsigned long count, fleet::FleetRun* run = nullptr);

// "IP address settings" and "IP recovery" on selectedBaseStation.
void EditIpSettings(CQeltaConfigView& view);
void RecoverIpSettings(CQeltaConfigView& view);
// "Set description" on selectedBaseStation.
void EditDescription(CQeltaConfigView& view);

// Routes the commands of these operations (and of the view of a module's settings).
void InstallWebCommands(CQeltaConfigView& view);

}  // namespace qelta::network

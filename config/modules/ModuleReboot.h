// "Reboot Ethernet module(s)" on a station: by the discovery protocol's reboot request when the
// station's MAC is known, through the module's reboot form otherwise. The table is emptied
// afterwards, because the module may come back under another address.
#pragma once

#include "fleet/StationHandle.h"
#include "network/StationDirectory.h"

namespace qelta::network {

// Answer files in the working folder, replaced on every run and kept afterwards.
inline constexpr const char* kRebootAnswerFile = "reboot.html";
inline constexpr const char* kRebootHeaderFile = "reboot_headers.txt";

inline constexpr int kRebootLockWaitMs = 3000;
inline constexpr int kTableClearLockWaitMs = 1000;

// One module's reboot, asked or not: an HTTP session of its own, as every module operation has.
// The table is emptied through the directory the command was handed, under its lock; the
// station's state tells the form that its selection is gone (and, after the web form, that the
// list no longer shows the table).
void RebootStation(fleet::StationHandle& station, StationDirectory& directory);

}  // namespace qelta::network

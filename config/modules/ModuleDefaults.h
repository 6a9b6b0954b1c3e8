// "Set default Ethernet settings" and "Upload default Ethernet settings" on each chosen station:
// the module's default GPIO, serial, profile, TCP forwarding, description and DHCP settings,
// posted form by form through the station's web session.
#pragma once

#include "fleet/FleetRun.h"
#include "network/BaseStationRecord.h"

namespace qelta::network {

// Answer files in the working folder, replaced on every run and kept afterwards.
inline constexpr const char* kDefaultSetupFile = "default_setup.html";
inline constexpr const char* kGpioSetupFile = "gpio_setup.html";

// One station's default settings: probe, login, the forms one after the other on one progress
// row.
void DefaultsForStation(fleet::StationHandle& station);
// The same once the station has answered its probe: login and the forms.
void PostDefaultsForStation(fleet::StationHandle& station);

// The default settings on `count` stations (copies; at most 256 are worked on), the stations
// that did not answer reported at the end. `run`: the fleet run of a command that has further
// phases (null: a run of its own on the host). `work`: each station's work instead of
// DefaultsForStation; `answerFiles` false: the phase opens no answer files (a run that posts
// nothing).
void ApplyDefaultEthernetSettings(fleet::RunHost& host, const BaseStationRecord* records,
                                  unsigned long count, fleet::FleetRun* run = nullptr,
                                  const fleet::StationWork& work = {}, bool answerFiles = true);

}  // namespace qelta::network

// The base stations the network area knows: the table that discovery keeps, with its lock
// "MTX_AddBaseStation", and the list of stations that did not answer a probe. The front end's form
// owns one directory and hands it to whatever works on the stations; nothing reaches it through
// the form. The table is read and changed only under its lock; the silent list belongs to the
// form's thread (a station worked on elsewhere hands its silent probe over to be replayed there).
#pragma once

#include <string>

#include "network/BaseStationDiscovery.h"

namespace qelta::network {

class StationDirectory {
 public:
  StationDirectory() = default;
  StationDirectory(const StationDirectory&) = delete;
  StationDirectory& operator=(const StationDirectory&) = delete;

  // The discovery thread that fills the table.
  BaseStationDiscovery& Discovery() { return discovery_; }

  NamedMutex& ListLock() { return discovery_.ListLock(); }
  BaseStationList& Table() { return discovery_.Table(); }
  // The number of stations in the table, read under its lock (0 when the lock could not be had
  // within `waitMs`).
  uint32_t Count(int waitMs);
  // Empties the table under its lock; false (nothing changed) when the lock could not be had
  // within `waitMs`.
  bool ClearTable(int waitMs);

  SilentList& Silent() { return discovery_.Silent(); }
  // Probes the station; when it does not answer it is remembered as silent (true: not present).
  bool CheckPresence(const BaseStationRecord& record) { return discovery_.CheckPresence(&record); }
  void RememberSilent(const BaseStationRecord& record) { discovery_.RememberSilent(record); }
  void ClearSilent() { discovery_.Silent().count = 0; }
  // One row per silent station with the operation's suffix, then the list is emptied.
  void ReportSilent(const std::string& suffix) { discovery_.ReportSilentBaseStations(suffix); }
  // True when the station answers a probe; otherwise the user is told and it answers false.
  bool ConfirmResponding(const BaseStationRecord* record) {
    return discovery_.ConfirmResponding(record);
  }

 private:
  BaseStationDiscovery discovery_;
};

}  // namespace qelta::network

#include "devices/StationReset.h"

#include <chrono>
#include <thread>

#include "core/OutputImages.h"
#include "halvex/HalvexCtrl.h"

namespace qelta {

void ResetStation(fleet::StationHandle& s, int progressRow) {
  const BaseStationRecord& station = s.Record();
  if (s.CheckPresence()) return;  // remembered in the silent list
  if (s.Link().ConnectTCP(station.address, station.port) != 0) {
    // A tunnel that refused: this station was not reset.
    s.AddRow("Connect error", station.addressText, ids::kImageFailure);
    return;
  }
  const int row = fleet::StationHandle::ListRow(progressRow);
  s.SetText(row, 0, "Resetting...");
  s.SetImage(row, ids::kImageStep);
  s.SetText(row, 1, station.addressText);
  s.KeepPainting();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  s.Link().Reset();
}

}  // namespace qelta

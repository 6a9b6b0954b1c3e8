#include "app/StationCompare.h"

#include <optional>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/StationRuns.h"
#include "fleet/FleetRun.h"
#include "params/ParamsState.h"
#include "params/StationTerminal.h"

namespace qelta {

void CompareStations(CQeltaConfigView& view, const std::string& path, int16_t deviceType) {
  view.params->comparisons.clear();
  StationListHold hold(view);
  view.directory().ClearSilent();
  std::vector<BaseStationRecord> copies(network::kMaxBaseStations);
  const uint32_t n = network::CopySelectedBaseStations(view, copies.data());
  if (n > 0) {
    view.AddOutputRow("Compare with configuration file", path, ids::kImageInfo);
    // Each station's slot is its own: workers write nothing else of it. A station that does not
    // answer its probe is remembered as silent and read nothing of.
    std::vector<DeviceComparison> found(n);
    FormRunHost host(view);
    fleet::FleetRun run(host, copies.data(), n);
    run.Phase([&](fleet::StationHandle& s) {
      s.AddRow("Compare with device", s.Record().addressText, ids::kImageInfo);
      found[s.Index()] = CompareStation(s, path, deviceType);
    });
    for (uint32_t i = 0; i < n; ++i) {
      // A cancelled run leaves the stations it did not start unread.
      found[i].station = copies[i].addressText;
      view.params->comparisons.push_back(std::move(found[i]));
    }
  }
  hold.Restore();
  view.directory().ReportSilent("(compare)");
}

void CompareStationsWithFile(CQeltaConfigView& view) {
  FileDialogRequest request;
  request.initialName = "*.pcg";
  request.defaultExt = "pcg";
  request.filter = "QeltaC Files (*.pcg)";
  const std::optional<std::string> path = view.ui().FileDialog(request);
  if (!path || path->empty()) return;
  CompareStations(view, *path, 9);
}

}  // namespace qelta

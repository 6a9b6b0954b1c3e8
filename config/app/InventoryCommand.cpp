// "Inventory..." of the base station menus: the CSV file's name from a file dialog, the inventory
// of the chosen stations, and the file opened in the user's text editor.
#include <string>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/StationRuns.h"
#include "core/TextEditor.h"
#include "inventory/Inventory.h"

namespace qelta::fleet {

namespace {
constexpr int kTableLockWaitMs = 1000;
}

std::vector<BaseStationRecord> InventoryStations(CQeltaConfigView& view) {
  std::vector<BaseStationRecord> stations;
  if (view.listShowsBaseStations) {
    stations.resize(network::kMaxBaseStations);
    uint32_t count = network::CopySelectedBaseStations(view, stations.data());
    if (count == 0) {
      // Nothing selected: every station of the list, in row order.
      const OutputList& list = view.outputList();
      for (int row = 0; row < list.RowCount() && count < network::kMaxBaseStations; ++row)
        if (const BaseStationRecord* r = list.Row(row).item) stations[count++] = *r;
    }
    stations.resize(count);
    return stations;
  }
  // The list shows no stations: the ones discovery knows now.
  network::NamedMutexGuard hold(view.directory().ListLock(), kTableLockWaitMs);
  if (!hold.Owned()) return stations;
  const network::BaseStationList& table = view.directory().Table();
  stations.assign(table.records.begin(), table.records.begin() + table.count);
  return stations;
}

void InventoryCommand(CQeltaConfigView& view) {
  const std::vector<BaseStationRecord> stations = InventoryStations(view);
  if (stations.empty()) {
    view.Message("No base stations", "Error");
    return;
  }
  FileDialogRequest request;
  request.save = true;
  request.title = "Inventory";
  request.initialName = "inventory.csv";
  request.defaultExt = "csv";
  request.filter = "CSV Files (*.csv)";
  const std::optional<std::string> path = view.ui().FileDialog(request);
  if (!path || path->empty()) return;
  FormRunHost host(view);
  if (!RunInventory(host, view.files(), stations.data(), stations.size(), *path)) return;
  ProcessRequest editor;
  editor.argv = TextEditorCommand(view.settings());
  editor.argv.push_back(*path);
  view.ui().StartProcess(editor);
}

void InstallInventoryCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kCmdInventory, [v] { InventoryCommand(*v); });
}

}  // namespace qelta::fleet

#include "app/BaseStationListOps.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "app/StationRuns.h"
#include "app/WebOperations.h"
#include "devices/Radio.h"
#include "devices/StationListing.h"
#include "devices/StationReset.h"
#include "fleet/FleetRun.h"

namespace qelta::network {
namespace {

using qelta::MessageAnswer;
using qelta::MessageButtons;
using qelta::MessageIcon;

// "bsview.txt": when the file cannot be created the walk still runs, without its report.
class Report {
 public:
  explicit Report(const std::string& path) : file_(std::fopen(path.c_str(), "w+")) {}
  ~Report() {
    if (file_) std::fclose(file_);
  }
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  [[gnu::format(printf, 2, 3)]] void Line(const char* format, ...) {
    if (!file_) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
  }

 private:
  FILE* file_;
};

// The local time as "Www Mmm dd hh:mm:ss yyyy\n".
std::string LocalTimeLine() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local);
  return text;
}

std::string Format(const char* format, unsigned long value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool InTable(BaseStationList& table, const BaseStationRecord* record) {
  const BaseStationRecord* first = table.records.data();
  return record >= first && record < first + table.records.size();
}

void RunChosen(CQeltaConfigView& view, int command) {
  // Commands of operations not built into this program have no handler: choosing them does
  // nothing.
  if (command != 0) view.RunCommand(command);
}

}  // namespace

void StartDiscovery(CQeltaConfigView& view) {
  view.discoveryIntervalMs = kDiscoveryIntervalMs;
  view.directory().Discovery().StartDiscovery();
}

void StopDiscovery(CQeltaConfigView& view) { view.directory().Discovery().StopDiscovery(); }

namespace {

// The report's lines of one station, as its probe found it.
void ReportStation(Report& report, unsigned long number, const BaseStationRecord& copy,
                   const BaseStationRecord& live, const ListedStation& found) {
  report.Line("Basestation %lu:\n", number);
  report.Line("  - IP address: %s (%s)\n", copy.addressText, live.addressText);
  report.Line("  - port: %hu, ntohs: %hu\n", copy.port,
              static_cast<unsigned short>((copy.port >> 8) | (copy.port << 8)));
  report.Line("  - MAC: %s\n", FormatMac(copy.mac).c_str());
  auto nameLine = [&] {
    if (copy.name[0]) {
      report.Line("  - printed name \"%s\".\n\n", copy.name);
    } else {
      report.Line("  - printed \"Base station\".\n\n");
    }
  };
  if (!found.present) {
    report.Line("  - (not present)\n");
    nameLine();
    return;
  }
  report.Line("  - connection status: %lu\n", static_cast<unsigned long>(found.connectResult));
  nameLine();
  report.Line("  - \"Base station\" printed\n");
  if (found.connectResult != 0) return;
  report.Line("  - channel read result: %hd\n", found.channel);
  if (found.channel >= kMinChannel && found.channel <= kMaxChannel) {
    report.Line("  - channel seems to be valid\n");
  } else {
    report.Line("  - channel bound check failed (1,7)\n");
  }
  report.Line("  - added \"%s\" to column 2\n", found.state.c_str());
  report.Line("  - disconnect\n\n");
}

// The list of the table's stations, with the table's lock held by the caller: every station is
// probed (up to the form's number at once), each gets its row in table order, the report tells
// what each probe found and the silent stations are told at the end.
void ListTable(CQeltaConfigView& view) {
  StationDirectory& directory = view.directory();
  BaseStationList& table = directory.Table();
  OutputList& list = view.outputList();

  Report report(view.programDir + kReportFile);
  report.Line("Start view on %s\n", LocalTimeLine().c_str());

  if (table.count == 0) {
    view.listShowsBaseStations = false;
    view.selectedBaseStation = nullptr;
  } else {
    view.deviceMenuEnabled = false;
    // The conversations work on a snapshot (the run's copies); the rows point at the live records.
    const std::vector<BaseStationRecord> snapshot(table.records.begin(),
                                                  table.records.begin() + table.count);
    list.DeleteAllRows();
    const unsigned long count = table.count;
    report.Line("There %s %lu base station%sin the list.\n\n", count == 1 ? "is" : "are", count,
                count == 1 ? " " : "s ");
    directory.ClearSilent();

    std::vector<ListedStation> found(snapshot.size());
    std::size_t listed = 0;
    {
      FormRunHost host(view, false);
      fleet::FleetRun run(host, snapshot);
      run.Phase([&found](fleet::StationHandle& s) { ListStation(s, found[s.Index()]); });
      listed = run.Progress().done;
    }
    // Each station has added its one row, in table order, from the list's first row on.
    for (std::size_t i = 0; i < listed; ++i) {
      list.SetItem(static_cast<int>(i), &table.records[i]);
      ReportStation(report, static_cast<unsigned long>(i + 1), snapshot[i], table.records[i],
                    found[i]);
    }
    view.listShowsBaseStations = true;
  }

  report.Line("End view %s\n", LocalTimeLine().c_str());
  // A station of the table that no longer answers is told, not failed: nothing was asked of it.
  const int firstSilent = list.RowCount();
  directory.ReportSilent("");
  for (int row = firstSilent; row < list.RowCount(); ++row) list.SetKind(row, RowKind::Warning);
}

}  // namespace

void ViewBaseStations(CQeltaConfigView& view) {
  NamedMutexGuard hold(view.directory().ListLock(), 0);
  if (!hold.Owned()) return;  // busy: nothing at all
  ListTable(view);
}

bool ViewNamedStations(CQeltaConfigView& view, const std::vector<BaseStationRecord>& stations) {
  StationDirectory& directory = view.directory();
  NamedMutexGuard hold(directory.ListLock(), kClearListLockWaitMs);
  if (!hold.Owned()) return false;
  BaseStationList& table = directory.Table();
  table = BaseStationList{};
  for (const BaseStationRecord& r : stations) {
    if (table.count == kMaxBaseStations) break;
    table.records[table.count++] = r;
  }
  ListTable(view);
  return true;
}

void ClearBaseStationList(CQeltaConfigView& view) {
  StationDirectory& directory = view.directory();
  NamedMutexGuard hold(directory.ListLock(), kClearListLockWaitMs);
  if (!hold.Owned()) return;
  if (view.Message("Remove all base station entries?", "Confirm", MessageButtons::OkCancel,
                   MessageIcon::Question) != MessageAnswer::Ok) {
    return;
  }
  directory.Table() = BaseStationList{};
  view.outputList().DeleteAllRows();
  view.listShowsBaseStations = false;
  view.selectedBaseStation = nullptr;
  directory.ClearSilent();
  view.controls().SetText(ids::kDiscoveryStatusLabel, "No basestations");
}

void ClearOutputList(CQeltaConfigView& view) {
  view.outputList().DeleteAllRows();
  view.listShowsBaseStations = false;
  view.selectedBaseStation = nullptr;
  view.deviceMenuEnabled = false;
}

void SelectAllBaseStations(CQeltaConfigView& view) {
  OutputList& list = view.outputList();
  for (int row = 0; row < list.RowCount(); ++row) {
    if (list.Row(row).item) list.SetSelected(row, true);
  }
}

uint32_t CopySelectedBaseStations(CQeltaConfigView& view, BaseStationRecord* buffer) {
  if (buffer == nullptr) return 0;
  const OutputList& list = view.outputList();
  uint32_t count = 0;
  for (int row = 0; row < list.RowCount() && count < kMaxBaseStations; ++row) {
    const OutputRow& r = list.Row(row);
    if (r.selected && r.item) buffer[count++] = *r.item;
  }
  return count;
}

bool RemoveBaseStation(CQeltaConfigView& view, const BaseStationRecord* record) {
  if (record == nullptr) return false;
  StationDirectory& directory = view.directory();
  NamedMutexGuard hold(directory.ListLock(), kRemoveLockWaitMs);
  if (!hold.Owned()) return false;
  BaseStationList& table = directory.Table();
  BaseStationRecord* target = nullptr;
  if (InTable(table, record)) {
    target = const_cast<BaseStationRecord*>(record);
  } else {
    for (uint32_t i = 0; i < table.count && !target; ++i) {
      if (table.records[i].address == record->address) target = &table.records[i];
    }
  }
  if (target) *target = BaseStationRecord{};
  uint32_t kept = 0;
  for (uint32_t i = 0; i < table.count; ++i) {
    if (table.records[i].address == 0) continue;
    if (kept != i) table.records[kept] = table.records[i];
    ++kept;
  }
  for (uint32_t i = kept; i < table.count; ++i) table.records[i] = BaseStationRecord{};
  table.count = kept;
  view.listShowsBaseStations = false;
  view.selectedBaseStation = nullptr;
  view.outputList().DeleteAllRows();
  return true;
}

void ResetBaseStations(CQeltaConfigView& view) {
  CHalvexCtrl& link = view.link();
  StationDirectory& directory = view.directory();
  directory.ClearSilent();
  std::vector<BaseStationRecord> selection(kMaxBaseStations);
  const uint32_t count = CopySelectedBaseStations(view, selection.data());
  if (count == 0) {
    link.Disconnect();
    return;
  }
  link.Disconnect();
  unsigned long known = 0;
  {
    NamedMutexGuard hold(directory.ListLock(), kClearListLockWaitMs);
    known = directory.Table().count;
  }
  view.AddOutputRow("Resetting all", Format("%lu base stations", known), ids::kImageInfo);
  const int progress = view.AddOutputRow("Resetting:", "", ids::kImageStep);
  FormRunHost host(view);
  fleet::FleetRun run(host, selection.data(), count);
  run.Phase([progress](fleet::StationHandle& s) { ResetStation(s, progress); });
  directory.ReportSilent("(BS reset)");
  view.AddOutputRow("Ready", "", ids::kImageInfo);
  link.Disconnect();
}

void OnListClick(CQeltaConfigView& view) {
  view.selectedBaseStation = nullptr;
  const OutputList& list = view.outputList();
  if (!view.listShowsBaseStations || list.SelectedCount() != 1) return;
  const int mark = list.SelectionMark();
  if (list.ValidRow(mark)) view.selectedBaseStation = list.Row(mark).item;
}

void OnListRightClick(CQeltaConfigView& view, int x, int y) {
  const OutputList& list = view.outputList();
  if (!view.listShowsBaseStations) {
    if (view.deviceMenuEnabled) RunChosen(view, view.ui().PopupMenu(view.deviceMenu, x, y));
    return;
  }
  const int selected = list.SelectedCount();
  if (selected >= 2) {
    const int command = view.ui().PopupMenu(view.multiStationMenu, x, y);
    view.selectedBaseStation = nullptr;
    RunChosen(view, command);
    return;
  }
  const int mark = list.SelectionMark();
  if (selected == 1 && list.ValidRow(mark) && list.Row(mark).item) {
    BaseStationRecord* station = list.Row(mark).item;
    const int command = view.ui().PopupMenu(view.singleStationMenu, x, y);
    view.selectedBaseStation = station;
    RunChosen(view, command);
  }
}

void BuildContextMenus(CQeltaConfigView& view) {
  const bool service = view.uiService != 0 || view.uiProduction != 0;
  const bool production = view.uiProduction != 0;

  qelta::MenuModel& single = view.singleStationMenu;
  single.Clear();
  single.AddItem(ids::kCmdChannel, "Channel");
  single.AddSeparator();
  single.AddItem(ids::kCmdWeb, "Web");
  single.AddItem(ids::kCmdViewEthernetSettings, "View Ethernet settings");
  single.AddItem(ids::kCmdDeviceInfo, "Device info");
  single.AddItem(ids::kCmdSetConfigFile, "Set configuration file");
  single.AddItem(ids::kCmdCompareStations, "Compare with configuration file");
  single.AddItem(ids::kCmdSetDefaultEthernet, "Set default Ethernet settings");
  single.AddSeparator();
  single.AddItem(ids::kCmdIpSettings, "IP address settings");
  single.AddItem(ids::kCmdIpRecovery, "IP recovery");
  single.AddItem(ids::kCmdSetDescription, "Set description");
  single.AddSeparator();
  single.AddItem(ids::kCmdResetBaseStations, "Reset base station");
  single.AddItem(ids::kCmdRebootModule, "Reboot Ethernet module");
  single.AddSeparator();
  single.AddItem(ids::kCmdSelectAll, "Select all base stations");
  if (service) {
    single.AddSeparator();
    single.AddItem(ids::kSetNewCommIdButton, "Set comm ID");
  }
  if (production) single.AddItem(ids::kCmdSetRadioType, "Set radio type");
  if (service) single.AddItem(ids::kCmdUploadAllDefaults, "Upload all defaults");

  qelta::MenuModel& multi = view.multiStationMenu;
  multi.Clear();
  multi.AddItem(ids::kCmdSameChannel, "Set to same channel");
  multi.AddItem(ids::kCmdUploadDefaultEthernet, "Upload default Ethernet settings");
  multi.AddItem(ids::kCmdSetConfigFile, "Set configuration file");
  multi.AddItem(ids::kCmdCompareStations, "Compare with configuration file");
  multi.AddSeparator();
  multi.AddItem(ids::kCmdResetBaseStations, "Reset base stations");
  multi.AddItem(ids::kCmdRebootModules, "Reboot Ethernet modules");
  if (service) multi.AddSeparator();
  if (production) multi.AddItem(ids::kCmdSetRadioType, "Set radio type");
  if (service) {
    multi.AddItem(ids::kSetNewCommIdButton, "Set comm ID's");
    multi.AddItem(ids::kCmdUploadAllDefaults, "Upload all defaults");
  }

  // The inventory reads and changes nothing: last in both menus, in every mode.
  for (qelta::MenuModel* menu : {&single, &multi}) {
    menu->AddSeparator();
    menu->AddItem(ids::kCmdInventory, "Inventory...");
  }

  qelta::MenuModel& device = view.deviceMenu;
  device.Clear();
  device.AddItem(ids::kCmdDeviceChannel, "Channel");
  if (production) device.AddItem(ids::kCmdDeviceRadioType, "Set radio type");
}

void InstallNetworkHooks(FormHooks& hooks) {
  hooks.startDiscovery = [](CQeltaConfigView& view) { StartDiscovery(view); };
  hooks.stopDiscovery = [](CQeltaConfigView& view) { StopDiscovery(view); };
  hooks.buildContextMenus = [](CQeltaConfigView& view) { BuildContextMenus(view); };
  hooks.onListClick = [](CQeltaConfigView& view) { OnListClick(view); };
  hooks.onListRightClick = [](CQeltaConfigView& view, int x, int y) {
    OnListRightClick(view, x, y);
  };
  hooks.addressTextOf = [](const BaseStationRecord& record) {
    return std::string(record.addressText);
  };
}

void InstallNetworkCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kCmdViewBaseStations, [v] { ViewBaseStations(*v); });
  view.SetCommandHandler(ids::kCmdClearBaseStations, [v] { ClearBaseStationList(*v); });
  view.SetCommandHandler(ids::kResetBaseStationsButton, [v] { ClearBaseStationList(*v); });
  view.SetCommandHandler(ids::kClearListButton, [v] { ClearOutputList(*v); });
  view.SetCommandHandler(ids::kCmdSelectAll, [v] { SelectAllBaseStations(*v); });
  view.SetCommandHandler(ids::kCmdResetBaseStations, [v] { ResetBaseStations(*v); });
  InstallWebCommands(view);
}

}  // namespace qelta::network

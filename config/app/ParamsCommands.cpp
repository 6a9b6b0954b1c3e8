#include "app/ParamsCommands.h"

#include "app/QeltaConfigView.h"
#include "app/StationCompare.h"
#include "app/StationRuns.h"
#include "core/TextEditor.h"
#include "fleet/FleetRun.h"
#include "params/ConfigCheck.h"
#include "params/DeviceCompare.h"
#include "params/ParamsOperations.h"
#include "params/ParamsState.h"
#include "params/StationTerminal.h"

namespace qelta {

namespace {

// The selected base station, for the operations that work on it when there is one.
const BaseStationRecord* Selected(const CQeltaConfigView& view) { return view.selectedBaseStation; }

}  // namespace

void RunOnTerminal(CQeltaConfigView& view, const BaseStationRecord* station,
                   const std::function<void(TerminalView&)>& operation) {
  FormRunHost host(view);
  fleet::RunOne(host, station, [&view, &operation](fleet::StationHandle& handle) {
    StationTerminal terminal(handle, view.ui(), view.params->selection);
    TerminalView& t = terminal.View();
    t.listShowsBaseStations = view.listShowsBaseStations;
    t.configFilePath = view.configFilePath;
    t.stations.confirmResponding = [&view](const StationTarget& target) {
      return target.record != nullptr && view.directory().ConfirmResponding(target.record);
    };
    t.storeSettingsPath = [&view] { view.StoreSettingsPath(); };
    t.editorCommand = TextEditorCommand(view.settings());
    operation(t);
  });
}

void UploadConfiguration(CQeltaConfigView& view) {
  view.params->writes.clear();
  RunOnTerminal(view, Selected(view), [&view](TerminalView& t) {
    UploadConfiguration(t);
    if (!t.written) return;
    const BaseStationRecord* station = t.listShowsBaseStations ? Selected(view) : nullptr;
    view.params->writes.push_back({station != nullptr ? station->addressText : "", *t.written});
  });
}

DeviceComparison CompareFileWithDevice(CQeltaConfigView& view, const std::string& path,
                                       int16_t deviceType) {
  view.params->comparisons.clear();
  DeviceComparison result;
  RunOnTerminal(view, nullptr, [&](TerminalView& t) {
    t.listShowsBaseStations = false;
    result = CompareWithDevice(t, path, deviceType);
  });
  view.params->comparisons.push_back(result);
  return result;
}

void ReadDeviceInfo(CQeltaConfigView& view) {
  RunOnTerminal(view, Selected(view), [](TerminalView& t) { ReadDeviceInfo(t); });
}

void InstallParamsCommands(CQeltaConfigView& view) {
  auto run = [&view](void (*operation)(TerminalView&)) {
    return [&view, operation] { RunOnTerminal(view, Selected(view), operation); };
  };
  view.SetCommandHandler(ids::kSetConfigButton, [&view] { UploadConfiguration(view); });
  view.SetCommandHandler(ids::kEditWithNotepadButton, run(&EditConfiguration));
  view.SetCommandHandler(ids::kGetConfigButton, run(&ReadParameters));
  view.SetCommandHandler(ids::kReadDeviceInfoButton, run(&ReadDeviceInfo));
  view.SetCommandHandler(ids::kCmdDeviceInfo, run(&ReadDeviceInfo));
  view.SetCommandHandler(ids::kCmdCheckConfigFile, run(&CheckConfigurationFile));
  view.SetCommandHandler(ids::kCmdCompareWithDevice, [&view] {
    view.params->comparisons.clear();
    RunOnTerminal(view, Selected(view), [&view](TerminalView& t) {
      if (std::optional<DeviceComparison> found = CompareWithDeviceFile(t))
        view.params->comparisons.push_back(std::move(*found));
    });
  });
  view.SetCommandHandler(ids::kCmdCompareStations, [&view] { CompareStationsWithFile(view); });
}

void LoadReadSetupForForm(CQeltaConfigView& view) {
  RunOnTerminal(view, nullptr, [](TerminalView& t) { LoadReadSetup(t); });
}

}  // namespace qelta

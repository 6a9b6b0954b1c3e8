// The base station menus' commands for the module operations: which stations, the questions
// before, the list's flags around; each station's work is a module operation on its handle.
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/EthernetSettings.h"
#include "app/StationRuns.h"
#include "app/WebOperations.h"
#include "fleet/FleetRun.h"
#include "modules/DefaultSettingsCheck.h"
#include "modules/ModuleDefaults.h"
#include "modules/ModuleReboot.h"

namespace qelta::network {

void UploadDefaultEthernetSettings(CQeltaConfigView& view) {
  std::vector<BaseStationRecord> selection(kMaxBaseStations);
  const uint32_t count = CopySelectedBaseStations(view, selection.data());
  if (count == 0) return;
  view.AddOutputRow("Uploading to " + std::to_string(count) + " base stations.", "",
                    ids::kImageInfo);
  FormRunHost host(view);
  ApplyDefaultEthernetSettings(host, selection.data(), count);
}

void SetDefaultEthernetSettings(CQeltaConfigView& view) {
  if (view.selectedBaseStation == nullptr) return;
  // A copy: the table may change under the record while the forms are posted.
  const BaseStationRecord station = *view.selectedBaseStation;
  FormRunHost host(view);
  ApplyDefaultEthernetSettings(host, &station, 1);
}

std::vector<DefaultsOutcome> CheckDefaultEthernetSettings(CQeltaConfigView& view,
                                                          DefaultsMode mode) {
  std::vector<BaseStationRecord> selection(kMaxBaseStations);
  uint32_t count = 0;
  if (view.selectedBaseStation != nullptr) {
    selection[count++] = *view.selectedBaseStation;
  } else {
    count = CopySelectedBaseStations(view, selection.data());
    if (count == 0) return {};
    view.AddOutputRow("Uploading to " + std::to_string(count) + " base stations.", "",
                      ids::kImageInfo);
  }
  // Each station fills its own outcome; the run has ended before they are read.
  std::vector<DefaultsOutcome> outcomes(count);
  for (uint32_t i = 0; i < count; ++i) outcomes[i].station = selection[i].addressText;
  FormRunHost host(view);
  ApplyDefaultEthernetSettings(
      host, selection.data(), count, nullptr,
      [mode, &outcomes](fleet::StationHandle& s) {
        CheckedDefaultsForStation(s, mode, outcomes[s.Index()]);
      },
      mode != DefaultsMode::kDryRun);
  return outcomes;
}

void RebootModule(CQeltaConfigView& view, bool confirm) {
  if (view.selectedBaseStation == nullptr) return;
  if (confirm &&
      view.Message("Rediscovering base station after reboot may take a couple of minutes.\nOK to "
                   "proceed?",
                   "Verify", MessageButtons::OkCancel,
                   MessageIcon::Question) != MessageAnswer::Ok) {
    return;
  }
  // The handle works on a copy: the record in the table is emptied on the way.
  FormRunHost host(view);
  StationDirectory& directory = view.directory();
  fleet::RunOne(host, view.selectedBaseStation,
                [&directory](fleet::StationHandle& s) { RebootStation(s, directory); });
}

void RebootModules(CQeltaConfigView& view) {
  std::vector<BaseStationRecord> selection(kMaxBaseStations);
  const uint32_t count = CopySelectedBaseStations(view, selection.data());
  StationListHold hold(view);
  FormRunHost host(view);
  StationDirectory& directory = view.directory();
  fleet::FleetRun run(host, selection.data(), count);
  run.Phase([&directory](fleet::StationHandle& s) { RebootStation(s, directory); });
}

void InstallWebCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kCmdSetDefaultEthernet, [v] { SetDefaultEthernetSettings(*v); });
  view.SetCommandHandler(ids::kCmdUploadDefaultEthernet,
                         [v] { UploadDefaultEthernetSettings(*v); });
  view.SetCommandHandler(ids::kCmdRebootModule, [v] { RebootModule(*v, true); });
  view.SetCommandHandler(ids::kCmdRebootModules, [v] { RebootModules(*v); });
  view.SetCommandHandler(ids::kCmdIpSettings, [v] { EditIpSettings(*v); });
  view.SetCommandHandler(ids::kCmdIpRecovery, [v] { RecoverIpSettings(*v); });
  view.SetCommandHandler(ids::kCmdSetDescription, [v] { EditDescription(*v); });
  view.SetCommandHandler(ids::kCmdViewEthernetSettings, [v] { ViewEthernetSettings(*v); });
}

}  // namespace qelta::network

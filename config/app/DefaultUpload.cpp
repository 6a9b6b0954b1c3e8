// The default uploads: the dialog for the default EEPROM file and the two walks over the selected
// base stations. Each station gets the chosen file through its own handle; the form's
// configFilePath is the chosen file while the walk runs and the one before afterwards (when
// there was one).
#include "app/DefaultUpload.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/RadioChannel.h"
#include "app/StationRuns.h"
#include "core/SettingsKey.h"
#include "fleet/FleetRun.h"
#include "modules/ModuleDefaults.h"
#include "params/ParamsState.h"
#include "params/StationTerminal.h"

namespace qelta {
namespace {

constexpr std::size_t kCurrentDirChars = 200;

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  if (!getcwd(buf.data(), buf.size())) return {};
  std::string dir = buf.data();
  if (dir.size() > kCurrentDirChars) dir.resize(kCurrentDirChars);
  return dir;
}

void ChangeDirectory(const std::string& dir) {
  // Only a folder that was read whole is gone back to; a failure leaves the current one.
  if (!dir.empty() && chdir(dir.c_str()) != 0) return;
}

unsigned long TickMs() {
  using namespace std::chrono;
  return static_cast<unsigned long>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

FileDialogRequest PcgOpenRequest() {
  FileDialogRequest request;
  request.initialName = "*.pcg";
  request.defaultExt = "pcg";
  request.hideReadOnly = true;
  return request;
}

const char* RadioTypeText(int radioType) {
  switch (radioType) {
    case 1:
      return "Type 1";
    case 2:
      return "Type 2";
    default:
      return "Type 3";
  }
}

}  // namespace

std::string FileNamePart(const std::string& path) {
  const auto cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ElapsedTimeText(unsigned long elapsedMs) {
  char text[64];
  std::snprintf(text, sizeof text, "Time: %lu:%lu", elapsedMs / 60000, (elapsedMs % 60000) / 1000);
  return text;
}

std::string AverageTimeText(unsigned long averageMs) {
  char text[64];
  std::snprintf(text, sizeof text, "Avg. %lus/device ", (averageMs % 60000) / 1000);
  return text;
}

CDefaultUploadDlg::CDefaultUploadDlg(CQeltaConfigView& view) : view_(view) {
  model_.name = "CDefaultUploadDlg";
  model_.title = "Upload defaults";
  DialogField group;
  group.name = "group";
  group.kind = FieldKind::Group;
  group.label = "EEPROM setting file";
  model_.Add(std::move(group));
  DialogField file;
  file.controlId = kEepromFileField;
  file.name = "file";
  file.kind = FieldKind::Text;
  model_.Add(std::move(file));
  DialogField browse;
  browse.controlId = kBrowseButton;
  browse.name = "browse";
  browse.label = "Browse";
  browse.kind = FieldKind::Button;
  browse.onClick = [this](DialogModel& shown) { Browse(shown); };
  model_.Add(std::move(browse));
  model_.validate = [this](DialogModel& shown) { return Accept(shown); };
  model_.validationCaption = "File error";
  model_.validationErrorIcon = true;
}

bool CDefaultUploadDlg::Run() {
  model_.SetValue(kEepromFileField, fileName);
  const bool ok = view_.ui().RunDialog(model_);
  fileName = model_.Value(kEepromFileField);
  return ok;
}

void CDefaultUploadDlg::Browse(DialogModel& shown) {
  if (auto chosen = view_.ui().FileDialog(PcgOpenRequest())) {
    fileName = FileNamePart(*chosen);
    fullPath = *chosen;
    shown.SetValue(kEepromFileField, fileName);
  }
  fileName = shown.Value(kEepromFileField);
}

std::string CDefaultUploadDlg::Accept(DialogModel& shown) {
  fileName = shown.Value(kEepromFileField);
  if (fileName.empty()) return "At least default EEPROM file has to be defined.";
  CSettingsKey key(view_.settings(), view_.ui());
  if (key.Open()) key.WriteText(kLastEepromFileSetting, fullPath);
  return {};
}

void UploadAllDefaults(CQeltaConfigView& view) {
  const std::string cur = CurrentDirectory();
  std::string last;
  {
    CSettingsKey key(view.settings(), view.ui());
    key.Open();
    last = key.ReadText(kLastEepromFileSetting, cur);
  }
  CDefaultUploadDlg dialog(view);
  if (last != cur) {
    dialog.fullPath = last;
    dialog.fileName = FileNamePart(last);
  }
  const unsigned long t0 = TickMs();
  if (!dialog.Run()) {
    ChangeDirectory(cur);
    return;
  }
  {
    CSettingsKey key(view.settings(), view.ui());
    if (key.Open()) key.WriteText(kLastEepromFileSetting, dialog.fullPath);
  }
  StationListHold hold(view);
  const std::string configFile = view.configFilePath;
  std::vector<BaseStationRecord> copies(network::kMaxBaseStations);
  const uint32_t n = network::CopySelectedBaseStations(view, copies.data());
  std::string average;
  if (n > 0) {
    view.AddOutputRow("EEPROM file", dialog.fileName, ids::kImageInfo);
    view.AddOutputRow("Radio configuration", RadioTypeText(SelectedRadioType(view)),
                      ids::kImageInfo);
    const unsigned long t1 = TickMs();
    // Three phases across the stations: every module's defaults, then every EEPROM, then the
    // radio types.
    FormRunHost host(view);
    fleet::FleetRun run(host, copies.data(), n, {"module settings", "EEPROM", "radio type"});
    network::ApplyDefaultEthernetSettings(host, copies.data(), n, &run);
    view.configFilePath = dialog.fullPath;
    const std::string file = dialog.fullPath;
    run.Phase([&file](fleet::StationHandle& s) {
      s.AddRow("Default EEPROM", s.Record().addressText, ids::kImageInfo);
      UploadToStation(s, file, false);
    });
    if (!run.Cancelled()) {
      view.AddOutputRow("Reset wait...", "", ids::kImageStep);
      view.ui().KeepPainting();
      // The stations reset after their upload: the radio types wait until they are back.
      run.SettleBeforeNextPhase(std::chrono::milliseconds(kDefaultsResetWaitMs));
      SetBaseStationRadioTypes(view, &run);
    }
    average = AverageTimeText((TickMs() - t1) / n);
  }
  hold.Restore();
  if (!configFile.empty()) view.configFilePath = configFile;
  const int row = view.AddOutputRow(ElapsedTimeText(TickMs() - t0), "", ids::kImageInfo);
  if (!average.empty()) view.outputList().SetText(row, 2, average);
  ChangeDirectory(cur);
}

void SetConfigurationFile(CQeltaConfigView& view) {
  uint32_t tableCount;
  {
    network::NamedMutexGuard hold(view.directory().ListLock(), 1000);
    tableCount = view.directory().Table().count;
  }
  if (tableCount == 1 && !view.directory().ConfirmResponding(view.selectedBaseStation)) return;
  const auto chosen = view.ui().FileDialog(PcgOpenRequest());
  if (!chosen) return;

  view.params->writes.clear();
  StationListHold hold(view);
  const std::string configFile = view.configFilePath;
  view.directory().ClearSilent();
  std::vector<BaseStationRecord> copies(network::kMaxBaseStations);
  const uint32_t n = network::CopySelectedBaseStations(view, copies.data());
  if (n > 0) {
    view.AddOutputRow("EEPROM file", *chosen, ids::kImageInfo);
    view.configFilePath = *chosen;
    const std::string file = *chosen;
    FormRunHost host(view);
    fleet::FleetRun run(host, copies.data(), n);
    // Each station's slot is its own: workers write nothing else of it.
    std::vector<std::optional<WriteSummary>> written(n);
    run.Phase([&file, &written](fleet::StationHandle& s) {
      s.AddRow("Default EEPROM", s.Record().addressText, ids::kImageInfo);
      // A silent station only gets its row; the upload of a later station must not drop it from
      // the list that the report at the end reads.
      if (!s.CheckPresence()) written[s.Index()] = UploadToStation(s, file, true);
    });
    for (uint32_t i = 0; i < n; ++i)
      if (written[i]) view.params->writes.push_back({copies[i].addressText, *written[i]});
  }
  hold.Restore();
  if (!configFile.empty()) view.configFilePath = configFile;
  view.directory().ReportSilent("(set BS config)");
}

void InstallDefaultUploadCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kCmdUploadAllDefaults, [v] { UploadAllDefaults(*v); });
  view.SetCommandHandler(ids::kCmdSetConfigFile, [v] { SetConfigurationFile(*v); });
}

}  // namespace qelta

// The default uploads: the dialog for the default EEPROM file and the two walks over the selected
// base stations. UploadConfiguration always uploads the main form's configFilePath to its
// selectedBaseStation, so both are pointed at each station in turn and restored afterwards.
#include "app/DefaultUpload.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/RadioChannel.h"
#include "app/WebOperations.h"
#include "core/SettingsKey.h"
#include "fleet/FleetRun.h"
#include "network/WebClient.h"
#include "params/FormParams.h"
#include "params/ParamLink.h"
#include "params/ParamsOperations.h"
#include "params/ParamsState.h"

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

// The form state both walks replace while they run.
class SavedFormState {
 public:
  explicit SavedFormState(CQeltaConfigView& view)
      : view_(view),
        station_(view.selectedBaseStation),
        configFile_(view.configFilePath),
        shows_(view.listShowsBaseStations) {
    view.listShowsBaseStations = true;
  }
  void RestoreStationAndFile() {
    if (station_) view_.selectedBaseStation = station_;
    if (!configFile_.empty()) view_.configFilePath = configFile_;
  }
  void RestoreListState() { view_.listShowsBaseStations = shows_; }

 private:
  CQeltaConfigView& view_;
  BaseStationRecord* station_;
  std::string configFile_;
  bool shows_;
};

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

// The output rows of the parameter operations, on a station's scope.
class StationRows final : public OutputRows {
 public:
  explicit StationRows(fleet::StationScope& scope) : scope_(scope) {}
  using OutputRows::AddOutputRow;
  using OutputRows::InsertRow;
  void AddOutputRow(const std::string& name, const std::string& value, int image,
                    RowKind kind) override {
    rows_.push_back(scope_.AddRow(name, value, image, kind));
  }
  void InsertRow(std::size_t /*position*/, const std::string& name, int image,
                 RowKind kind) override {
    rows_.push_back(scope_.AddRow(name, "", image, kind));
  }
  void SetRowText(std::size_t row, int column, const std::string& text) override {
    if (row < rows_.size()) scope_.SetText(rows_[row], column, text);
  }
  void DeleteAllRows() override {
    rows_.clear();
    scope_.DeleteAllRows();
  }
  std::size_t RowCount() const override { return rows_.size(); }

 private:
  fleet::StationScope& scope_;
  std::vector<int> rows_;
};

// The function keys' state as an upload starts: the form's own one station at a time, a copy of
// it taken before the run for each station several at once (the copy's end state goes back to
// the form in the station's turn, as one upload after the other leaves it).
ParamsState& FormParamsState(CQeltaConfigView& view) {
  if (!view.params) view.params = std::make_shared<ParamsState>();
  return *view.params;
}

// UploadConfiguration with `station` as its target, on the station's scope. `keepSilent`: the
// stations found silent before stay listed for the command's own report.
void UploadToStation(fleet::StationScope& s, const BaseStationRecord& station,
                     const std::string& file, const ParamsState& before, bool keepSilent) {
  CQeltaConfigView& view = s.view();
  const bool onForm = s.OnFormThread();
  HalvexParamLink link(s.Link());
  StationRows rows(s);
  ParamsState ownState = onForm ? ParamsState{} : before;
  int32_t comPort = view.comPort;
  int16_t page = -1;  // set by the upload once it knows the device
  bool deviceMenu = false;
  std::atomic<bool> shows{true};
  std::string path = file;
  static const std::string kNoFolder;
  ParamsForm form{
      .link = link,
      .rows = rows,
      .ui = s.Ui(),
      .state = onForm ? FormParamsState(view) : ownState,
      .comPort = onForm ? view.comPort : comPort,
      .eepromPage = onForm ? view.eepromPage : page,
      .deviceMenuEnabled = onForm ? view.deviceMenuEnabled : deviceMenu,
      .listShowsBaseStations = onForm ? view.listShowsBaseStations : shows,
      .configFilePath = onForm ? view.configFilePath : path,
      .programDir = view.programDir,
      // Only the form's thread goes back to the start folder: the current folder is the
      // process's, and workers leave it alone.
      .startDir = onForm ? view.startDir : kNoFolder,
      .uiProduction = view.uiProduction,
      .stations = {},
      .storeSettingsPath = [] {},
      .editorCommand = {},
  };
  form.stations.selected = [&station]() -> std::optional<StationTarget> {
    return StationTarget{station.addressText, station.address, station.port, &station};
  };
  form.stations.checkPresenceFails = [&s, &station](const StationTarget&) {
    return s.CheckPresence(station);
  };
  form.stations.reportSilent = [&s](const std::string& suffix) { s.ReportSilent(suffix); };
  if (!keepSilent) form.stations.clearSilent = [&s] { s.ClearSilent(); };
  UploadConfiguration(form);
  if (!onForm) {
    s.OnForm([page, keys = ownState.functionKeys](CQeltaConfigView& f) {
      if (page >= 0) f.eepromPage = page;
      FormParamsState(f).functionKeys = keys;
    });
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
  SavedFormState saved(view);
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
    fleet::FleetRun run(view, fleet::StationNames(copies.data(), n), 3);
    network::ApplyDefaultEthernetSettings(view, copies.data(), n, &run);
    view.configFilePath = dialog.fullPath;
    const ParamsState before = FormParamsState(view);
    const std::string file = dialog.fullPath;
    run.Phase([&copies, &before, &file](fleet::StationScope& s, std::size_t i) {
      s.AddRow("Default EEPROM", copies[i].addressText, ids::kImageInfo);
      s.OnForm([record = &copies[i]](CQeltaConfigView& f) { f.selectedBaseStation = record; });
      UploadToStation(s, copies[i], file, before, false);
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
  // The copies go out of scope with this function: nothing may keep pointing at them.
  view.selectedBaseStation = nullptr;
  saved.RestoreStationAndFile();
  saved.RestoreListState();
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

  SavedFormState saved(view);
  view.directory().ClearSilent();
  std::vector<BaseStationRecord> copies(network::kMaxBaseStations);
  const uint32_t n = network::CopySelectedBaseStations(view, copies.data());
  if (n > 0) {
    view.AddOutputRow("EEPROM file", *chosen, ids::kImageInfo);
    view.configFilePath = *chosen;
    const ParamsState before = FormParamsState(view);
    const std::string file = *chosen;
    fleet::FleetRun run(view, fleet::StationNames(copies.data(), n));
    run.Phase([&copies, &before, &file](fleet::StationScope& s, std::size_t i) {
      s.AddRow("Default EEPROM", copies[i].addressText, ids::kImageInfo);
      s.OnForm([record = &copies[i]](CQeltaConfigView& f) { f.selectedBaseStation = record; });
      // A silent station only gets its row; the upload of a later station must not drop it from
      // the list that the report at the end reads.
      if (!s.CheckPresence(copies[i])) UploadToStation(s, copies[i], file, before, true);
    });
  }
  view.selectedBaseStation = nullptr;
  saved.RestoreStationAndFile();
  view.directory().ReportSilent("(set BS config)");
  saved.RestoreListState();
}

void InstallDefaultUploadCommands(CQeltaConfigView& view) {
  CQeltaConfigView* v = &view;
  view.SetCommandHandler(ids::kCmdUploadAllDefaults, [v] { UploadAllDefaults(*v); });
  view.SetCommandHandler(ids::kCmdSetConfigFile, [v] { SetConfigurationFile(*v); });
}

}  // namespace qelta

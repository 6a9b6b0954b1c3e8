#include "params/FormParams.h"

#include <cstdio>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "core/TextEditor.h"
#include "params/ConfigCheck.h"
#include "params/ParamsOperations.h"

namespace qelta {

namespace {

class FormRows final : public OutputRows {
 public:
  explicit FormRows(CQeltaConfigView& view) : view_(view) {}
  using OutputRows::AddOutputRow;
  using OutputRows::InsertRow;
  void AddOutputRow(const std::string& name, const std::string& value, int image,
                    RowKind kind) override {
    view_.AddOutputRow(name, value, image, kind);
  }
  void InsertRow(std::size_t /*position*/, const std::string& name, int image,
                 RowKind kind) override {
    // The operations insert only at the end of the list (right after emptying it).
    view_.AddOutputRow(name, "", image, kind);
  }
  void SetRowText(std::size_t row, int column, const std::string& text) override {
    view_.outputList().SetText(static_cast<int>(row), column, text);
  }
  void DeleteAllRows() override { view_.outputList().DeleteAllRows(); }
  std::size_t RowCount() const override {
    return static_cast<std::size_t>(view_.outputList().RowCount());
  }

 private:
  CQeltaConfigView& view_;
};

// The base station table's selection and probes.
StationAccess Stations(CQeltaConfigView& view) {
  StationAccess access;
  access.selected = [&view]() -> std::optional<StationTarget> {
    const BaseStationRecord* record = view.selectedBaseStation;
    if (record == nullptr) return std::nullopt;
    return StationTarget{record->addressText, record->address, record->port, record};
  };
  auto recordOf = [](const StationTarget& target) {
    BaseStationRecord record{};
    if (target.record != nullptr) return *target.record;
    std::snprintf(record.addressText, sizeof record.addressText, "%s", target.addressText.c_str());
    record.address = target.address;
    record.port = target.port;
    return record;
  };
  access.checkPresenceFails = [&view, recordOf](const StationTarget& target) {
    const BaseStationRecord record = recordOf(target);
    return view.directory().CheckPresence(record);
  };
  access.reportSilent = [&view](const std::string& suffix) {
    view.directory().ReportSilent(suffix);
  };
  access.clearSilent = [&view] { view.directory().ClearSilent(); };
  access.confirmResponding = [&view, recordOf](const StationTarget& target) {
    const BaseStationRecord record = recordOf(target);
    return view.directory().ConfirmResponding(&record);
  };
  return access;
}

}  // namespace

struct FormParams::Adapters {
  explicit Adapters(CQeltaConfigView& view) : link(view.link()), rows(view) {}
  HalvexParamLink link;
  FormRows rows;
};

FormParams::FormParams(CQeltaConfigView& view) : adapters_(std::make_unique<Adapters>(view)) {
  if (!view.params) view.params = std::make_shared<ParamsState>();
  form_.reset(new ParamsForm{
      .link = adapters_->link,
      .rows = adapters_->rows,
      .ui = view.ui(),
      .state = *view.params,
      .comPort = view.comPort,
      .eepromPage = view.eepromPage,
      .deviceMenuEnabled = view.deviceMenuEnabled,
      .listShowsBaseStations = view.listShowsBaseStations,
      .configFilePath = view.configFilePath,
      .programDir = view.programDir,
      .startDir = view.startDir,
      .uiProduction = view.uiProduction,
      .stations = Stations(view),
      .storeSettingsPath = [&view] { view.StoreSettingsPath(); },
      .editorCommand = TextEditorCommand(view.settings()),
  });
}

FormParams::~FormParams() = default;

void UploadConfiguration(CQeltaConfigView& view) {
  FormParams binding(view);
  UploadConfiguration(binding.form());
}

void ReadDeviceInfo(CQeltaConfigView& view) {
  FormParams binding(view);
  ReadDeviceInfo(binding.form());
}

void InstallParamsCommands(CQeltaConfigView& view) {
  auto run = [&view](void (*operation)(ParamsForm&)) {
    return [&view, operation] {
      FormParams binding(view);
      operation(binding.form());
    };
  };
  view.SetCommandHandler(ids::kSetConfigButton, run(&UploadConfiguration));
  view.SetCommandHandler(ids::kEditWithNotepadButton, run(&EditConfiguration));
  view.SetCommandHandler(ids::kGetConfigButton, run(&ReadParameters));
  view.SetCommandHandler(ids::kReadDeviceInfoButton, run(&ReadDeviceInfo));
  view.SetCommandHandler(ids::kCmdDeviceInfo, run(&ReadDeviceInfo));
  view.SetCommandHandler(ids::kCmdCheckConfigFile, run(&CheckConfigurationFile));
}

void LoadReadSetupForForm(CQeltaConfigView& view) {
  FormParams binding(view);
  LoadReadSetup(binding.form());
}

}  // namespace qelta

#include "fleet/StationHandle.h"

#include "network/BaseStationDiscovery.h"
#include "ui/UiPort.h"

namespace qelta::fleet {

// The handle's UI port: notices, beeps and painting go to the station's rows.
class StationHandle::Port final : public UiPort {
 public:
  explicit Port(StationHandle& handle) : handle_(handle) {}
  MessageAnswer MessageBox(const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) override {
    handle_.Message(text, caption, buttons, icon);
    // Nobody can answer a question in the middle of a station's work: the cautious answer.
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
  }
  bool RunDialog(DialogModel&) override { return false; }
  std::optional<std::string> FileDialog(const FileDialogRequest&) override { return std::nullopt; }
  void Beep() override { handle_.Beep(); }
  int StartProcess(const ProcessRequest&) override { return 1; }  // EPERM
  void StartTimer(int, int, std::function<void()>) override {}
  void StopTimer(int) override {}
  int PopupMenu(const MenuModel&, int, int) override { return 0; }
  void KeepPainting() override { handle_.KeepPainting(); }

 private:
  StationHandle& handle_;
};

StationHandle::StationHandle(const BaseStationRecord* station, std::size_t index, StationLane& lane,
                             StationSink& sink, const RunSettings& settings, StationState state,
                             AnswerFileNaming files, bool onFormThread)
    : hasStation_(station != nullptr),
      index_(index),
      lane_(lane),
      sink_(sink),
      settings_(settings),
      state_(std::move(state)),
      naming_(std::move(files)),
      onFormThread_(onFormThread) {
  if (station) record_ = *station;
}

StationHandle::~StationHandle() { files_.CloseAll(); }

const std::string& StationHandle::StartFolder() const {
  static const std::string kNone;
  return onFormThread_ ? settings_.startFolder : kNone;
}

int StationHandle::AddRow(const std::string& name, const std::string& value, int image,
                          RowKind kind) {
  if (kind == RowKind::Failure) failed_ = true;
  return sink_.AddRow(name, value, image, kind);
}

void StationHandle::SetText(int row, int column, const std::string& text) {
  sink_.SetText(row, column, text);
}

void StationHandle::SetImage(int row, int image, RowKind kind) {
  if (kind == RowKind::Failure) failed_ = true;
  sink_.SetImage(row, image, kind);
}

void StationHandle::DeleteAllRows() { sink_.DeleteAllRows(); }

void StationHandle::Message(const std::string& text, const std::string& caption,
                            MessageButtons buttons, MessageIcon icon) {
  sink_.Message(text, caption, buttons, icon);
}

void StationHandle::Beep() { sink_.Beep(); }

void StationHandle::KeepPainting() { sink_.KeepPainting(); }

UiPort& StationHandle::Ui() {
  if (!ui_) ui_ = std::make_unique<Port>(*this);
  return *ui_;
}

bool StationHandle::CheckPresence(const BaseStationRecord& record) {
  if (network::BaseStationDiscovery::ProbeBaseStation(record.address)) return false;
  failed_ = true;
  sink_.SilentAdd(record);
  return true;
}

void StationHandle::ClearSilent() { sink_.SilentClear(); }

void StationHandle::ReportSilent(const std::string& suffix) { sink_.SilentReport(suffix); }

FILE* StationHandle::AnswerFile(const std::string& name) {
  if (naming_.shared && naming_.shared->Has(name)) return naming_.shared->Find(name);
  const std::string file = naming_.suffix.empty() ? name : SuffixedFileName(name, naming_.suffix);
  return files_.Open(name, naming_.folder + file);
}

void StationHandle::Finish() {
  if (finished_) return;
  finished_ = true;
  files_.CloseAll();
  sink_.Apply(state_);
}

}  // namespace qelta::fleet

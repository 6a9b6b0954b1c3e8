// One station's block: what its work did to the form while it ran on a worker thread (rows and
// their changes, notices and beeps, the silent list, changes of the form's state), kept in order
// and replayed on the form's thread when the block's turn in list order comes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/RowKind.h"
#include "fleet/StationScope.h"
#include "network/BaseStationRecord.h"
#include "ui/UiPort.h"

namespace qelta::fleet {

struct BlockEvent {
  enum Kind {
    kAddRow,
    kSetText,
    kSetImage,
    kDeleteAllRows,
    kBeep,
    kMessage,
    kSilentAdd,
    kSilentClear,
    kSilentReport,
    kFormChange,
  };
  Kind kind = kAddRow;
  int row = -1;  // a handle as StationScope hands them out
  int column = 0;
  int image = 0;
  RowKind rowKind = RowKind::Step;
  std::string first;   // row name or text, message text, report suffix
  std::string second;  // row value, message caption
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
  std::optional<BaseStationRecord> record;
  std::function<void(CQeltaConfigView&)> change;
};

class StationBlock {
 public:
  // Handles of rows added in the block start here; smaller handles are rows of the form's list.
  static constexpr int kLocalRowBase = 1 << 30;

  int AddRow(const std::string& name, const std::string& value, int image, RowKind kind);
  void SetText(int row, int column, const std::string& text);
  void SetImage(int row, int image, RowKind kind);
  void Add(BlockEvent event) { events_.push_back(std::move(event)); }

  const std::vector<BlockEvent>& Events() const { return events_; }
  bool Empty() const { return events_.empty(); }
  void Clear();

  // Applies the block to the form in order: rows go to the output list (the session log and the
  // front ends see them as if they had been added then), notices and beeps to the form's UI port,
  // silent stations to the form's silent list. Form's thread only.
  void Replay(CQeltaConfigView& view) const;

 private:
  std::vector<BlockEvent> events_;
  int localRows_ = 0;
};

// The UI port a worker's station sees: notices and beeps go into its block; questions, dialogs and
// file choices never come up during a run (they are answered before it) and get the cautious
// answer; repaints are the form's business.
class BlockUi final : public UiPort {
 public:
  void Attach(StationBlock* block) { block_ = block; }
  MessageAnswer MessageBox(const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) override;
  bool RunDialog(DialogModel&) override { return false; }
  std::optional<std::string> FileDialog(const FileDialogRequest&) override { return std::nullopt; }
  void Beep() override;
  int StartProcess(const ProcessRequest&) override { return 1; }  // EPERM
  void StartTimer(int, int, std::function<void()>) override {}
  void StopTimer(int) override {}
  int PopupMenu(const MenuModel&, int, int) override { return 0; }
  void KeepPainting() override {}

 private:
  StationBlock* block_ = nullptr;
};

// The scope of a worker thread: its own link object and HTTP session, the station's events in
// its block. The link and the session serve the worker's stations one after the other.
class WorkerScope final : public StationScope {
 public:
  // `beforeFirstSession`: called before the worker makes its HTTP session (libcurl's global
  // set-up).
  explicit WorkerScope(CQeltaConfigView& view, std::function<void()> beforeFirstSession = {});
  ~WorkerScope() override;
  bool OnFormThread() const override { return false; }

  // Starts a station: its events go to `block`, its answer files carry `fileSuffix`.
  void Begin(StationBlock* block, std::string fileSuffix);
  // Ends the station: its answer files are closed, and its tunnel is not left held (a module
  // serves one client at a time, and the station's next phase may be another worker's).
  void End();

  CHalvexCtrl& Link() override;
  UiPort& Ui() override { return ui_; }
  int AddRow(const std::string& name, const std::string& value, int image, RowKind kind) override;
  int FormRow(int index) override { return index; }
  void SetText(int row, int column, const std::string& text) override;
  void SetImage(int row, int image, RowKind kind) override;
  using StationScope::SetImage;
  void DeleteAllRows() override;
  bool CheckPresence(const BaseStationRecord& record) override;
  void ClearSilent() override;
  void ReportSilent(const std::string& suffix) override;
  void OnForm(std::function<void(CQeltaConfigView&)> change) override;
  network::WebSession& Web() override;
  FILE* AnswerFile(const std::string& name) override;

 private:
  std::unique_ptr<CHalvexCtrl> link_;
  std::unique_ptr<network::WebSession> session_;
  std::function<void()> beforeFirstSession_;
  BlockUi ui_;
  StationBlock* block_ = nullptr;
  std::string suffix_;
  AnswerFiles files_;
};

}  // namespace qelta::fleet

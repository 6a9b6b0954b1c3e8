#include "fleet/StationBlock.h"

#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "network/WebClient.h"

namespace qelta::fleet {

int StationBlock::AddRow(const std::string& name, const std::string& value, int image,
                         RowKind kind) {
  BlockEvent e;
  e.kind = BlockEvent::kAddRow;
  e.row = kLocalRowBase + localRows_++;
  e.first = name;
  e.second = value;
  e.image = image;
  e.rowKind = kind;
  events_.push_back(std::move(e));
  return kLocalRowBase + localRows_ - 1;
}

void StationBlock::SetText(int row, int column, const std::string& text) {
  BlockEvent e;
  e.kind = BlockEvent::kSetText;
  e.row = row;
  e.column = column;
  e.first = text;
  events_.push_back(std::move(e));
}

void StationBlock::SetImage(int row, int image, RowKind kind) {
  BlockEvent e;
  e.kind = BlockEvent::kSetImage;
  e.row = row;
  e.image = image;
  e.rowKind = kind;
  events_.push_back(std::move(e));
}

void StationBlock::Clear() {
  events_.clear();
  localRows_ = 0;
}

void StationBlock::Replay(CQeltaConfigView& view) const {
  OutputList& list = view.outputList();
  // Where the block's own rows landed in the list.
  std::vector<int> placed(static_cast<std::size_t>(localRows_), -1);
  auto rowOf = [&placed](int handle) {
    if (handle < kLocalRowBase) return handle;
    const auto local = static_cast<std::size_t>(handle - kLocalRowBase);
    return local < placed.size() ? placed[local] : -1;
  };
  for (const BlockEvent& e : events_) {
    switch (e.kind) {
      case BlockEvent::kAddRow: {
        const int index = view.AddOutputRow(e.first, e.second, e.image, e.rowKind);
        const auto local = static_cast<std::size_t>(e.row - kLocalRowBase);
        if (local < placed.size()) placed[local] = index;
        break;
      }
      case BlockEvent::kSetText:
        list.SetText(rowOf(e.row), e.column, e.first);
        break;
      case BlockEvent::kSetImage:
        list.SetImage(rowOf(e.row), e.image, e.rowKind);
        break;
      case BlockEvent::kDeleteAllRows:
        list.DeleteAllRows();
        break;
      case BlockEvent::kBeep:
        view.ui().Beep();
        break;
      case BlockEvent::kMessage:
        view.ui().MessageBox(e.first, e.second, e.buttons, e.icon);
        break;
      case BlockEvent::kSilentAdd:
        if (e.record) view.directory().RememberSilent(*e.record);
        break;
      case BlockEvent::kSilentClear:
        view.directory().ClearSilent();
        break;
      case BlockEvent::kSilentReport:
        view.directory().ReportSilent(e.first);
        break;
      case BlockEvent::kFormChange:
        if (e.change) e.change(view);
        break;
    }
  }
}

MessageAnswer BlockUi::MessageBox(const std::string& text, const std::string& caption,
                                  MessageButtons buttons, MessageIcon icon) {
  if (block_) {
    BlockEvent e;
    e.kind = BlockEvent::kMessage;
    e.first = text;
    e.second = caption;
    e.buttons = buttons;
    e.icon = icon;
    block_->Add(std::move(e));
  }
  // Nobody can answer a question in the middle of a run: the cautious answer.
  return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

void BlockUi::Beep() {
  if (!block_) return;
  BlockEvent e;
  e.kind = BlockEvent::kBeep;
  block_->Add(std::move(e));
}

WorkerScope::WorkerScope(CQeltaConfigView& view, std::function<void()> beforeFirstSession)
    : StationScope(view), beforeFirstSession_(std::move(beforeFirstSession)) {}

WorkerScope::~WorkerScope() {
  files_.CloseAll();
  session_.reset();
  link_.reset();
}

void WorkerScope::Begin(StationBlock* block, std::string fileSuffix) {
  block_ = block;
  ui_.Attach(block);
  suffix_ = std::move(fileSuffix);
  ResetFailure();
}

void WorkerScope::End() {
  files_.CloseAll();
  if (link_) link_->Disconnect();
  ui_.Attach(nullptr);
  block_ = nullptr;
}

CHalvexCtrl& WorkerScope::Link() {
  if (!link_) {
    link_ = std::make_unique<CHalvexCtrl>();
    // The library's own messages belong to the station that was being worked on.
    link_->SetMessageHandler([this](const std::string& text, const std::string& caption) {
      ui_.MessageBox(text, caption, MessageButtons::Ok, MessageIcon::Error);
    });
  }
  return *link_;
}

int WorkerScope::AddRow(const std::string& name, const std::string& value, int image,
                        RowKind kind) {
  if (kind == RowKind::Failure) NoteFailure();
  return block_ ? block_->AddRow(name, value, image, kind) : -1;
}

void WorkerScope::SetText(int row, int column, const std::string& text) {
  if (block_) block_->SetText(row, column, text);
}

void WorkerScope::SetImage(int row, int image, RowKind kind) {
  if (kind == RowKind::Failure) NoteFailure();
  if (block_) block_->SetImage(row, image, kind);
}

void WorkerScope::DeleteAllRows() {
  BlockEvent e;
  e.kind = BlockEvent::kDeleteAllRows;
  if (block_) block_->Add(std::move(e));
}

bool WorkerScope::CheckPresence(const BaseStationRecord& record) {
  if (network::BaseStationDiscovery::ProbeBaseStation(record.address)) return false;
  NoteFailure();
  BlockEvent e;
  e.kind = BlockEvent::kSilentAdd;
  e.record = record;
  if (block_) block_->Add(std::move(e));
  return true;
}

void WorkerScope::ClearSilent() {
  BlockEvent e;
  e.kind = BlockEvent::kSilentClear;
  if (block_) block_->Add(std::move(e));
}

void WorkerScope::ReportSilent(const std::string& suffix) {
  BlockEvent e;
  e.kind = BlockEvent::kSilentReport;
  e.first = suffix;
  if (block_) block_->Add(std::move(e));
}

void WorkerScope::OnForm(std::function<void(CQeltaConfigView&)> change) {
  BlockEvent e;
  e.kind = BlockEvent::kFormChange;
  e.change = std::move(change);
  if (block_) block_->Add(std::move(e));
}

network::WebSession& WorkerScope::Web() {
  if (!session_) {
    if (beforeFirstSession_) beforeFirstSession_();
    session_ = std::make_unique<network::WebSession>();
  }
  return *session_;
}

FILE* WorkerScope::AnswerFile(const std::string& name) {
  return files_.Open(name, view().programDir + SuffixedFileName(name, suffix_));
}

}  // namespace qelta::fleet

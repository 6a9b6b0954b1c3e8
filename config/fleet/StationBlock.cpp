#include "fleet/StationBlock.h"

namespace qelta::fleet {

BlockEvent& StationBlock::Add(BlockEvent::Kind kind) {
  BlockEvent& e = events_.emplace_back();
  e.kind = kind;
  return e;
}

int StationBlock::AddRow(const std::string& name, const std::string& value, int image,
                         RowKind kind) {
  BlockEvent& e = Add(BlockEvent::kAddRow);
  e.row = kLocalRowBase + localRows_++;
  e.first = name;
  e.second = value;
  e.image = image;
  e.rowKind = kind;
  return e.row;
}

void StationBlock::SetText(int row, int column, const std::string& text) {
  BlockEvent& e = Add(BlockEvent::kSetText);
  e.row = row;
  e.column = column;
  e.first = text;
}

void StationBlock::SetImage(int row, int image, RowKind kind) {
  BlockEvent& e = Add(BlockEvent::kSetImage);
  e.row = row;
  e.image = image;
  e.rowKind = kind;
}

void StationBlock::DeleteAllRows() { Add(BlockEvent::kDeleteAllRows); }

void StationBlock::Message(const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) {
  BlockEvent& e = Add(BlockEvent::kMessage);
  e.first = text;
  e.second = caption;
  e.buttons = buttons;
  e.icon = icon;
}

void StationBlock::Beep() { Add(BlockEvent::kBeep); }

void StationBlock::SilentAdd(const BaseStationRecord& record) {
  Add(BlockEvent::kSilentAdd).record = record;
}

void StationBlock::SilentClear() { Add(BlockEvent::kSilentClear); }

void StationBlock::SilentReport(const std::string& suffix) {
  Add(BlockEvent::kSilentReport).first = suffix;
}

void StationBlock::Apply(const StationState& state) { Add(BlockEvent::kApply).state = state; }

void StationBlock::Clear() {
  events_.clear();
  localRows_ = 0;
}

void StationBlock::Replay(StationSink& target) const {
  // Where the block's own rows landed in the target.
  std::vector<int> placed(static_cast<std::size_t>(localRows_), -1);
  auto rowOf = [&placed](int row) {
    if (row < kLocalRowBase) return row;
    const auto local = static_cast<std::size_t>(row - kLocalRowBase);
    return local < placed.size() ? placed[local] : -1;
  };
  for (const BlockEvent& e : events_) {
    switch (e.kind) {
      case BlockEvent::kAddRow: {
        const int index = target.AddRow(e.first, e.second, e.image, e.rowKind);
        const auto local = static_cast<std::size_t>(e.row - kLocalRowBase);
        if (local < placed.size()) placed[local] = index;
        break;
      }
      case BlockEvent::kSetText:
        target.SetText(rowOf(e.row), e.column, e.first);
        break;
      case BlockEvent::kSetImage:
        target.SetImage(rowOf(e.row), e.image, e.rowKind);
        break;
      case BlockEvent::kDeleteAllRows:
        target.DeleteAllRows();
        break;
      case BlockEvent::kBeep:
        target.Beep();
        break;
      case BlockEvent::kMessage:
        target.Message(e.first, e.second, e.buttons, e.icon);
        break;
      case BlockEvent::kSilentAdd:
        if (e.record) target.SilentAdd(*e.record);
        break;
      case BlockEvent::kSilentClear:
        target.SilentClear();
        break;
      case BlockEvent::kSilentReport:
        target.SilentReport(e.first);
        break;
      case BlockEvent::kApply:
        if (e.state) target.Apply(*e.state);
        break;
    }
  }
}

}  // namespace qelta::fleet

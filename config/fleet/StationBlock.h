// One station's block: what its work reported while it ran beside other stations (rows and their
// changes, notices and beeps, the silent list, the state it changed), kept in order and replayed
// into the form's sink on the form's thread when the block's turn in list order comes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fleet/StationSink.h"
#include "network/BaseStationRecord.h"

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
    kApply,
  };
  Kind kind = kAddRow;
  int row = -1;  // a row number as the block hands them out
  int column = 0;
  int image = 0;
  RowKind rowKind = RowKind::Step;
  std::string first;   // row name or text, message text, report suffix
  std::string second;  // row value, message caption
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;
  std::optional<BaseStationRecord> record;
  std::optional<StationState> state;
};

class StationBlock final : public StationSink {
 public:
  // Numbers of rows added in the block start here; smaller ones are rows of the form's list.
  static constexpr int kLocalRowBase = 1 << 30;

  using RowSink::AddRow;
  using RowSink::SetImage;
  int AddRow(const std::string& name, const std::string& value, int image, RowKind kind) override;
  void SetText(int row, int column, const std::string& text) override;
  void SetImage(int row, int image, RowKind kind) override;
  void DeleteAllRows() override;
  void Message(const std::string& text, const std::string& caption, MessageButtons buttons,
               MessageIcon icon) override;
  void Beep() override;
  // Nothing to paint until the block is replayed.
  void KeepPainting() override {}
  void SilentAdd(const BaseStationRecord& record) override;
  void SilentClear() override;
  void SilentReport(const std::string& suffix) override;
  void Apply(const StationState& state) override;

  const std::vector<BlockEvent>& Events() const { return events_; }
  bool Empty() const { return events_.empty(); }
  void Clear();

  // Hands the block to `target` in order; the block's own row numbers become the rows the
  // target gave them.
  void Replay(StationSink& target) const;

 private:
  BlockEvent& Add(BlockEvent::Kind kind);
  std::vector<BlockEvent> events_;
  int localRows_ = 0;
};

}  // namespace qelta::fleet

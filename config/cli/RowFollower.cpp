#include "cli/RowFollower.h"

namespace qelta::cli {

RowFollower::RowFollower(OutputList& list, RowPrinter& printer) : list_(list), printer_(printer) {
  handle_ = list_.AddListener(
      [this](const OutputList& l, const OutputListChange& change) { OnChange(l, change); });
}

RowFollower::~RowFollower() {
  if (handle_ != 0) list_.RemoveListener(handle_);
}

void RowFollower::Finish() {
  if (handle_ == 0) return;
  list_.RemoveListener(handle_);
  handle_ = 0;
  FinalizeAll();
}

void RowFollower::OnChange(const OutputList& list, const OutputListChange& change) {
  switch (change.kind) {
    case OutputListChange::RowAdded: {
      if (!list.ValidRow(change.row)) return;
      // Rows are only appended; catch up with any the follower has not seen.
      while (static_cast<int>(rows_.size()) <= change.row) {
        const int index = static_cast<int>(rows_.size());
        PrintedRow r{index, list.Row(index), IsoLocalTimeNow()};
        r.row.item = nullptr;  // the record is not the printer's to follow
        rows_.push_back(r);
        printer_.Added(rows_.back());
      }
      break;
    }
    case OutputListChange::TextChanged:
    case OutputListChange::ImageChanged:
    case OutputListChange::KindChanged: {
      if (!list.ValidRow(change.row) || change.row >= static_cast<int>(rows_.size())) return;
      PrintedRow& r = rows_[static_cast<std::size_t>(change.row)];
      r.row = list.Row(change.row);
      r.row.item = nullptr;
      r.time = IsoLocalTimeNow();
      printer_.Changed(r, change.kind);
      break;
    }
    case OutputListChange::Cleared:
      FinalizeAll();
      break;
    case OutputListChange::ItemChanged:
    case OutputListChange::SelectionChanged:
      break;
  }
}

void RowFollower::FinalizeAll() {
  for (const PrintedRow& r : rows_) {
    if (r.row.kind == RowKind::Failure) ++failures_;
    if (r.row.kind == RowKind::Warning) ++warnings_;
    printer_.Final(r);
  }
  rows_.clear();
}

}  // namespace qelta::cli

#include "app/OutputList.h"

int OutputList::AddRow(const std::string& name, const std::string& value, int image,
                       BaseStationRecord* item) {
  return AddRow(name, value, image, qelta::KindOfImage(image), item);
}

int OutputList::AddRow(const std::string& name, const std::string& value, int image,
                       qelta::RowKind kind, BaseStationRecord* item) {
  OutputRow row;
  row.text[0] = name;
  row.text[1] = value;
  row.image = image;
  row.kind = kind;
  row.item = item;
  rows_.push_back(std::move(row));
  int index = RowCount() - 1;
  Notify({OutputListChange::RowAdded, index, -1});
  return index;
}

bool OutputList::SetText(int row, int column, const std::string& text) {
  if (!ValidRow(row) || column < 0 || column >= kColumns) return false;
  std::string& cell = rows_[static_cast<std::size_t>(row)].text[static_cast<std::size_t>(column)];
  if (cell == text) return true;
  cell = text;
  Notify({OutputListChange::TextChanged, row, column});
  return true;
}

bool OutputList::SetImage(int row, int image) {
  return SetImage(row, image, qelta::KindOfImage(image));
}

bool OutputList::SetImage(int row, int image, qelta::RowKind kind) {
  if (!ValidRow(row)) return false;
  OutputRow& current = rows_[static_cast<std::size_t>(row)];
  if (current.image == image && current.kind == kind) return true;
  current.image = image;
  current.kind = kind;
  Notify({OutputListChange::ImageChanged, row, -1});
  return true;
}

bool OutputList::SetKind(int row, qelta::RowKind kind) {
  if (!ValidRow(row)) return false;
  OutputRow& current = rows_[static_cast<std::size_t>(row)];
  if (current.kind == kind) return true;
  current.kind = kind;
  Notify({OutputListChange::KindChanged, row, -1});
  return true;
}

bool OutputList::SetItem(int row, BaseStationRecord* item) {
  if (!ValidRow(row)) return false;
  rows_[static_cast<std::size_t>(row)].item = item;
  Notify({OutputListChange::ItemChanged, row, -1});
  return true;
}

bool OutputList::SetSelected(int row, bool selected) {
  if (!ValidRow(row)) return false;
  bool& current = rows_[static_cast<std::size_t>(row)].selected;
  if (current == selected) return true;
  current = selected;
  if (selected) selectionMark_ = row;
  Notify({OutputListChange::SelectionChanged, row, -1});
  return true;
}

void OutputList::SelectOnly(int row) {
  for (int i = 0; i < RowCount(); ++i)
    if (i != row) SetSelected(i, false);
  if (ValidRow(row)) {
    SetSelected(row, true);
    selectionMark_ = row;
  }
}

void OutputList::DeleteAllRows() {
  rows_.clear();
  selectionMark_ = -1;
  Notify({OutputListChange::Cleared, -1, -1});
}

int OutputList::SelectedCount() const {
  int n = 0;
  for (const auto& r : rows_) n += r.selected ? 1 : 0;
  return n;
}

std::vector<int> OutputList::SelectedRows() const {
  std::vector<int> out;
  for (int i = 0; i < RowCount(); ++i)
    if (rows_[static_cast<std::size_t>(i)].selected) out.push_back(i);
  return out;
}

void OutputList::SetSelectionMark(int row) { selectionMark_ = ValidRow(row) ? row : -1; }

int OutputList::AddListener(Listener listener) {
  int handle = nextHandle_++;
  listeners_[handle] = std::move(listener);
  return handle;
}

void OutputList::RemoveListener(int handle) { listeners_.erase(handle); }

void OutputList::Notify(OutputListChange change) {
  auto copy = listeners_;
  for (auto& [handle, listener] : copy)
    if (listener) listener(*this, change);
}

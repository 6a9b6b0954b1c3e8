// The output list (control 1009) as a model: rows of three texts with an image, optional item
// data (a base station record owned by the base station table), selection flags and the selection
// mark. Every change is announced to the listeners (the window repaints, the session log writes).
// Used from the form's thread only.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/RowKind.h"

struct BaseStationRecord;  // defined by the base station table

struct OutputRow {
  std::array<std::string, 3> text;  // "Name", "Value", "More"
  int image = 2;
  qelta::RowKind kind = qelta::RowKind::Step;  // what the row says, whatever its image
  BaseStationRecord* item = nullptr;           // set only on base station rows
  bool selected = false;
};

struct OutputListChange {
  // KindChanged: only what the row says changed, not what it shows (the window and the session
  // log ignore it).
  enum Kind {
    RowAdded,
    TextChanged,
    ImageChanged,
    KindChanged,
    ItemChanged,
    SelectionChanged,
    Cleared
  };
  Kind kind;
  int row = -1;     // -1 for Cleared
  int column = -1;  // for TextChanged
};

class OutputList {
 public:
  using Listener = std::function<void(const OutputList&, const OutputListChange&)>;

  static constexpr int kColumns = 3;
  static constexpr const char* kColumnNames[kColumns] = {"Name", "Value", "More"};
  static constexpr int kColumnWidths[kColumns] = {150, 150, 250};

  // Appends a row and returns its index. Without a kind the row takes the one its image implies.
  int AddRow(const std::string& name, const std::string& value, int image,
             BaseStationRecord* item = nullptr);
  int AddRow(const std::string& name, const std::string& value, int image, qelta::RowKind kind,
             BaseStationRecord* item = nullptr);
  // Changes of one row; an index out of range or a column outside 0..2 is ignored (returns false).
  bool SetText(int row, int column, const std::string& text);
  // A new image brings the kind it implies.
  bool SetImage(int row, int image);
  bool SetImage(int row, int image, qelta::RowKind kind);
  // What a row says, its image unchanged (a station row that now tells a failed operation).
  bool SetKind(int row, qelta::RowKind kind);
  bool SetItem(int row, BaseStationRecord* item);
  bool SetSelected(int row, bool selected);
  void SelectOnly(int row);  // selects one row (or none for -1) and makes it the selection mark
  void DeleteAllRows();

  int RowCount() const { return static_cast<int>(rows_.size()); }
  bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }
  const OutputRow& Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
  const std::vector<OutputRow>& Rows() const { return rows_; }
  int SelectedCount() const;
  std::vector<int> SelectedRows() const;

  // The selection mark: the row that last took part in a selection (-1: none).
  int SelectionMark() const { return selectionMark_; }
  void SetSelectionMark(int row);

  int AddListener(Listener listener);
  void RemoveListener(int handle);

 private:
  void Notify(OutputListChange change);
  std::vector<OutputRow> rows_;
  int selectionMark_ = -1;
  std::map<int, Listener> listeners_;
  int nextHandle_ = 1;
};

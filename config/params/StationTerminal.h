// The terminal-parameter operations on a station's handle: a terminal view made of the handle's
// link, rows, state and settings, addressing the handle's station (or the device on the serial
// port), and the configuration upload to one station of a run.
#pragma once

#include <string>
#include <vector>

#include "fleet/StationHandle.h"
#include "params/FileMemory.h"
#include "params/TerminalView.h"

namespace qelta {

// The station's output rows as the parameter operations write them: rows are numbered in the
// order the operation added them, from the last time it emptied the list.
class StationRows final : public OutputRows {
 public:
  explicit StationRows(RowSink& sink) : sink_(sink) {}
  using OutputRows::AddOutputRow;
  using OutputRows::InsertRow;
  void AddOutputRow(const std::string& name, const std::string& value, int image,
                    RowKind kind) override;
  // The operations insert only at the end of their rows (right after emptying the list).
  void InsertRow(std::size_t position, const std::string& name, int image, RowKind kind) override;
  void SetRowText(std::size_t row, int column, const std::string& text) override;
  void DeleteAllRows() override;
  std::size_t RowCount() const override { return rows_.size(); }

 private:
  RowSink& sink_;
  std::vector<int> rows_;
};

// A terminal view on a handle. `ui`: the port of the operation's questions and file choices (the
// form's own for the form's commands, the handle's for a station of a run). The view's inputs
// that are not the handle's (the configuration file, the list's flag, the editor, ...) are set by
// the caller; the silent-station check and the silent list are the handle's.
class StationTerminal {
 public:
  StationTerminal(fleet::StationHandle& station, UiPort& ui);
  StationTerminal(fleet::StationHandle& station, UiPort& ui,
                  std::vector<SelectionEntry>& selection);
  StationTerminal(const StationTerminal&) = delete;
  StationTerminal& operator=(const StationTerminal&) = delete;
  TerminalView& View() { return view_; }

 private:
  HalvexParamLink link_;
  StationRows rows_;
  std::vector<SelectionEntry> noSelection_;
  TerminalView view_;
};

// "Set" with `file` on the handle's station, as one station of a run. `keepSilent`: stations
// found silent before stay listed for the command's own report at its end. What went in when the
// run's settings ask for checked writes and the upload came to its end.
std::optional<WriteSummary> UploadToStation(fleet::StationHandle& station, const std::string& file,
                                            bool keepSilent);

// The comparison of the handle's station with `path` (params/DeviceCompare.h), as one station of
// a run: a silent station stays listed for the command's report at its end.
DeviceComparison CompareStation(fleet::StationHandle& station, const std::string& path,
                                int16_t deviceType);

}  // namespace qelta

#include "params/StationTerminal.h"

#include <cstdio>

#include "params/DeviceCompare.h"
#include "params/ParamsOperations.h"

namespace qelta {
namespace {

BaseStationRecord RecordOf(const StationTarget& target) {
  if (target.record != nullptr) return *target.record;
  BaseStationRecord record{};
  std::snprintf(record.addressText, sizeof record.addressText, "%s", target.addressText.c_str());
  record.address = target.address;
  record.port = target.port;
  return record;
}

}  // namespace

void StationRows::AddOutputRow(const std::string& name, const std::string& value, int image,
                               RowKind kind) {
  rows_.push_back(sink_.AddRow(name, value, image, kind));
}

void StationRows::InsertRow(std::size_t /*position*/, const std::string& name, int image,
                            RowKind kind) {
  rows_.push_back(sink_.AddRow(name, "", image, kind));
}

void StationRows::SetRowText(std::size_t row, int column, const std::string& text) {
  if (row < rows_.size()) sink_.SetText(rows_[row], column, text);
}

void StationRows::DeleteAllRows() {
  rows_.clear();
  sink_.DeleteAllRows();
}

StationTerminal::StationTerminal(fleet::StationHandle& station, UiPort& ui)
    : StationTerminal(station, ui, noSelection_) {}

StationTerminal::StationTerminal(fleet::StationHandle& station, UiPort& ui,
                                 std::vector<SelectionEntry>& selection)
    : link_(station.Link()),
      rows_(station),
      view_(link_, rows_, ui, station.State(), station.Settings(), selection) {
  view_.startFolder = station.StartFolder();
  fleet::StationHandle* s = &station;
  view_.stations.selected = [s]() -> std::optional<StationTarget> {
    const BaseStationRecord* record = s->Station();
    if (record == nullptr) return std::nullopt;
    return StationTarget{record->addressText, record->address, record->port, record};
  };
  view_.stations.checkPresenceFails = [s](const StationTarget& target) {
    return s->CheckPresence(RecordOf(target));
  };
  view_.stations.reportSilent = [s](const std::string& suffix) { s->ReportSilent(suffix); };
  view_.stations.clearSilent = [s] { s->ClearSilent(); };
}

std::optional<WriteSummary> UploadToStation(fleet::StationHandle& station, const std::string& file,
                                            bool keepSilent) {
  StationTerminal terminal(station, station.Ui());
  TerminalView& view = terminal.View();
  view.listShowsBaseStations = true;
  view.configFilePath = file;
  if (keepSilent) view.stations.clearSilent = nullptr;
  UploadConfiguration(view);
  return view.written;
}

DeviceComparison CompareStation(fleet::StationHandle& station, const std::string& path,
                                int16_t deviceType) {
  StationTerminal terminal(station, station.Ui());
  TerminalView& view = terminal.View();
  view.listShowsBaseStations = true;
  view.stations.clearSilent = nullptr;  // the command reports its silent stations at its end
  view.stations.reportSilent = nullptr;
  DeviceComparison result = CompareWithDevice(view, path, deviceType);
  result.station = station.Record().addressText;
  return result;
}

}  // namespace qelta

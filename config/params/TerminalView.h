// What the terminal-parameter operations work on: a link, rows, a UI port, the state they read and
// change, the run's settings and the station (or the device on the serial port) they address. A
// station's handle gives one for its station (params/StationTerminal.h), the form's commands one
// for the form's own thread; tests build it around a memory-backed device and a scripted UI.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fleet/RunSettings.h"
#include "fleet/StationState.h"
#include "params/CheckedWrites.h"
#include "params/OutputRows.h"
#include "params/ParamLink.h"
#include "params/ReadSetup.h"
#include "ui/UiPort.h"

struct BaseStationRecord;

namespace qelta {

// A base station reached over its module's serial tunnel.
struct StationTarget {
  std::string addressText;
  uint32_t address = 0;  // IPv4, network byte order
  uint16_t port = 0;
  const BaseStationRecord* record = nullptr;  // the station's record, when it came from one
};

// The base station's services; empty members mean "no station selected" and "every station
// answers".
struct StationAccess {
  // The selected base station, if any.
  std::function<std::optional<StationTarget>()> selected;
  // True when the station did not answer its probe (it is then remembered as silent).
  std::function<bool(const StationTarget&)> checkPresenceFails;
  // One row per silent station with the operation's suffix; empties the silent list.
  std::function<void(const std::string&)> reportSilent;
  std::function<void()> clearSilent;
  // True when the station answers; otherwise the user has been told.
  std::function<bool(const StationTarget&)> confirmResponding;
};

struct TerminalView {
  TerminalView(ParamLink& link, OutputRows& rows, UiPort& ui, fleet::StationState& state,
               const fleet::RunSettings& settings, std::vector<SelectionEntry>& selection)
      : link(link), rows(rows), ui(ui), state(state), settings(settings), selection(selection) {}

  ParamLink& link;
  OutputRows& rows;
  UiPort& ui;
  // The function-key table in and out; the EEPROM page, the device menu and the list's flag as
  // the operation changes them.
  fleet::StationState& state;
  // The COM port, the working folder (ending in '/'), production mode.
  const fleet::RunSettings& settings;
  // The read-out's selection table.
  std::vector<SelectionEntry>& selection;
  // The list shows the base station table: "Set" goes to the selected station, "Get" does
  // nothing.
  bool listShowsBaseStations = false;
  std::string configFilePath;
  // The folder made current again after an upload; empty: the current folder stays.
  std::string startFolder;
  StationAccess stations;
  std::function<void()> storeSettingsPath;
  // The text editor's command before the file name (no shell is involved).
  std::vector<std::string> editorCommand;
  // What a checked upload (verified or changed-only) wrote, once it came to its end.
  std::optional<WriteSummary> written;
};

}  // namespace qelta

// The main form as the parameter operations see it: its link, output list, UI port and the
// pieces of its state they read and write. Built from CQeltaConfigView by FormParams(); tests
// build it around a memory-backed device and a scripted UI.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "params/OutputRows.h"
#include "params/ParamLink.h"
#include "params/ParamsState.h"
#include "ui/UiPort.h"

struct BaseStationRecord;

namespace qelta {

// A base station reached over its module's serial tunnel.
struct StationTarget {
  std::string addressText;
  uint32_t address = 0;  // IPv4, network byte order
  uint16_t port = 0;
  const BaseStationRecord* record = nullptr;  // the table's record, when it came from there
};

// The base station table's services; empty members mean "no station selected" and
// "every station answers".
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

struct ParamsForm {
  ParamLink& link;
  OutputRows& rows;
  UiPort& ui;
  ParamsState& state;
  int32_t& comPort;
  int16_t& eepromPage;
  bool& deviceMenuEnabled;
  std::atomic<bool>& listShowsBaseStations;
  std::string& configFilePath;
  const std::string& programDir;  // ends in '/'
  const std::string& startDir;
  const int32_t& uiProduction;
  StationAccess stations;
  std::function<void()> storeSettingsPath;
  // The text editor's command before the file name (no shell is involved).
  std::vector<std::string> editorCommand;
};

}  // namespace qelta

// What a station's work reads of the form's changing state and what it changes there. The work
// never touches the form: it gets a copy of this state, taken as the station starts when stations
// run one at a time, and as the phase starts when several run at once (no station sees another's
// changes before the form has taken them). What the work changed goes back to the form in the
// station's turn, after the station's rows.
#pragma once

#include <cstdint>
#include <optional>

#include "core/FunctionKeys.h"

namespace qelta::fleet {

struct StationState {
  // The configuration upload's function-key table.
  FunctionKeyTable functionKeys{};
  // Set by the work when it changes them: the EEPROM page of the device it identified, whether
  // the device menu applies (a device on the serial port), whether the list still shows the
  // base station table.
  std::optional<int16_t> eepromPage;
  std::optional<bool> deviceMenuEnabled;
  std::optional<bool> listShowsBaseStations;
  // The record the form's selection pointed at is gone (the table was emptied).
  bool selectionGone = false;
};

}  // namespace qelta::fleet

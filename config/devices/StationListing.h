// One station's line in the base station list ("View base stations"): its presence probe and,
// when it answers, the channel byte read through its tunnel, on the station's handle. The station
// adds exactly one row, the list's row for it; what it found stays for the list's report.
#pragma once

#include <cstdint>
#include <string>

#include "fleet/StationHandle.h"

namespace qelta {

// What the list's probe of one station found.
struct ListedStation {
  bool present = false;        // it answered its probe
  uint32_t connectResult = 0;  // ConnectTCP's result, when present (0: connected)
  int16_t channel = 0;         // the channel byte, when connected
  std::string state;           // the row's column 2
};

// Probes the station (a silent one joins the silent list) and, when it answers, connects to its
// tunnel, reads the channel byte and lets the tunnel go; adds the station's row with its state in
// column 2. The list's waits are kept: 10 ms before the read, 50 ms after the disconnect.
void ListStation(fleet::StationHandle& station, ListedStation& found);

// The state column of a station whose channel byte reads `channel`: "Ch: 3" for 1 to 7, else
// "Channel error 0".
std::string ChannelStateText(int16_t channel);
// The state column of a tunnel that refused with `result` (2: held by another client).
std::string ConnectErrorText(uint32_t result);

}  // namespace qelta

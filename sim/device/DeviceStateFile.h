#pragma once
// Saves and loads a device's identity and memory as plain text, so that a simulated device keeps
// its settings between runs.
//
// Format (one item per line; '#' starts a comment line; blank lines are ignored):
//
//   qelta-sim-state 1
//   type 9
//   version 7
//   id 300
//   date 15.6.6
//   page0 0000 FFFFFFFF...        up to 32 bytes as hex pairs, starting at the 4-digit hex offset
//   page1 0020 ...
//   ext 7FE0 ...
//   flash 8000 ...                the boot loaders' programmed flash (64 KiB)
//
// The first line must be the header. type, version and date numbers are 0..255, id 0..65535.
// Memory lines may come in any order and cover any part of an area; bytes they do not name keep
// the erased value 0xFF. Saving writes every 32-byte line that is not fully erased.
// A file with any fault (unknown key, bad number, odd hex digits, range outside the area, missing
// header) is refused as a whole with a message naming the line; nothing of it is applied.

#include <string>

#include "device/SimDevice.h"

namespace qelta::sim {

struct StateFileResult {
  bool ok = false;
  std::string error;  // "<file>:<line>: <what>" when !ok
};

StateFileResult LoadDeviceState(const std::string& path, SimDevice& device);
// Writes to a temporary file beside `path` and renames it over, so a crash never leaves half a
// file.
StateFileResult SaveDeviceState(const std::string& path, SimDevice& device);

}  // namespace qelta::sim

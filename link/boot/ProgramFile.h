// The firmware image of a load, checked before anything is sent or erased: a regular file, not
// empty, of a sane size and, for binary firmware, no larger than the flash it is written into.
// A load that starts with an image it cannot finish would leave the device erased.
#pragma once

#include <string>

#include "boot/BootState.h"

namespace halvex::boot {

// S-record firmware for the whole flash is a few hundred kilobytes of text.
inline constexpr size_t kMaxRecordFileSize = size_t{1} << 20;

struct ProgramFileCheck {
  bool ok = false;
  int error = 0;       // errno value when the file could not be read, 0 otherwise
  std::string reason;  // why it was refused, as the user reads it
};

// Reads the image at `path` into `state` (its bytes and the program stream over them).
ProgramFileCheck OpenProgramFile(const std::string& path, BootFileMode mode, BootState& state);

}  // namespace halvex::boot

// The firmware image of a load, checked before anything is sent or erased: a regular file, not
// empty, of a sane size. A load that starts with an image it cannot finish would leave the device
// erased.
#pragma once

#include <string>

#include "boot/BootState.h"

namespace halvex::boot {

// S-record firmware for the whole flash is a few hundred kilobytes of text.
inline constexpr size_t kMaxRecordFileSize = size_t{1} << 20;
// Binary firmware is an image of the device's 16-bit address space. The load writes the flash
// below the bootstrap's own area and leaves the rest of the image (the loader's area at the top)
// unsent, so a whole 64 KiB image is an ordinary file; anything larger is no image of this device.
inline constexpr size_t kMaxBinaryImageSize = size_t{1} << 16;

struct ProgramFileCheck {
  bool ok = false;
  int error = 0;       // errno value when the file could not be read, 0 otherwise
  std::string reason;  // why it was refused, as the user reads it
};

// Reads the image at `path` into `state` (its bytes and the program stream over them).
ProgramFileCheck OpenProgramFile(const std::string& path, BootFileMode mode, BootState& state);

}  // namespace halvex::boot

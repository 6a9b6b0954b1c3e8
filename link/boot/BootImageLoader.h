// Building the boot image from an S-record boot file.
#pragma once

#include <cstddef>
#include <string>

#include "boot/BootState.h"

namespace halvex::boot {

enum class ImageLoadResult {
  Ok,
  CannotOpen,  // the file does not exist or cannot be read
  Invalid,     // no start record, a bad record, or data that would fall outside the image
};

// Loads the boot image from `path`, reading lines through a buffer of `lineBuffer` bytes. The
// image starts at the "S9" start address; every "S1" record must lie inside the image's 65,534
// data bytes above it. The data length is the end of the highest record minus the start.
// On anything but Ok the image is left cleared.
ImageLoadResult LoadBootImage(const std::string& path, size_t lineBuffer, BootImage& image);

}  // namespace halvex::boot

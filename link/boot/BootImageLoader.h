// Building the boot image from an S-record boot file.
#pragma once

#include <cstddef>
#include <string>

#include "boot/BootState.h"

namespace halvex::boot {

enum class ImageLoadResult {
  Ok,
  CannotOpen,  // the file does not exist, cannot be read, or is no regular file of a sane size
  Invalid,     // no start record, a bad record, or data that would fall outside the image
};

// Loads the boot image from `path`, reading lines through a buffer of `lineBuffer` bytes. The
// image starts at the "S9" start address; every "S1" record must lie inside the image's 65,534
// data bytes above it. The data length is the end of the highest record minus the start.
// On anything but Ok the image is left cleared. `error` (when given) receives the errno value of
// a file that could not be read, 0 otherwise.
ImageLoadResult LoadBootImage(const std::string& path, size_t lineBuffer, BootImage& image,
                              int* error = nullptr);

// An S-record boot file is a few hundred kilobytes at most.
inline constexpr size_t kMaxBootFileSize = size_t{1} << 20;

}  // namespace halvex::boot

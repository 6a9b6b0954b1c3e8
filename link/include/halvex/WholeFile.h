// Reading and writing a whole file that comes from outside (an EEPROM file, a boot or firmware
// image, a configuration file): regular files only, up to a size limit, without ever waiting on
// a FIFO or writing into a device. The configurator reads its files through the same calls.
#pragma once

#include <cerrno>
#include <cstddef>
#include <string>

namespace halvex {

// The result for a path that names a device, a FIFO or a socket.
inline constexpr int kNotRegularFile = EINVAL;

// Reads the regular file at `path` into `out`: 0, or an errno value (EISDIR for a folder,
// kNotRegularFile for anything else that is not a regular file, EFBIG when it holds more than
// `limit` bytes). `out` is empty after a failure.
int ReadWholeFile(const std::string& path, std::size_t limit, std::string& out);

// Writes `data` as the whole content of the regular file at `path` (created when missing): 0 or
// an errno value. A device, FIFO or folder at the path is left alone.
int WriteWholeFile(const std::string& path, const std::string& data);

// The failure as the user reads it: "file is larger than 1 MiB", "not a regular file", or the
// system's text for the errno value.
std::string WholeFileErrorText(int error, std::size_t limit);

}  // namespace halvex

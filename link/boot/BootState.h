// State of one boot load, and the boot state shared by every link object in the process.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace halvex::boot {

// Which firmware the program file holds; decides how the running bootstrap is fed.
enum class BootFileMode : uint8_t {
  SRecords = 0,            // text S-record firmware, streamed record by record
  HandTerminalBinary = 1,  // "hsbt" binary firmware, streamed in 32-byte blocks
  BaseStationBinary = 2,   // "bsbt" binary firmware, streamed in 32-byte blocks
};

// The boot image: up to 65,534 data bytes behind a two-byte big-endian length prefix. The whole
// prefixed image is what the ROM loader receives.
struct BootImage {
  static constexpr size_t kMaxData = 65534;

  // bytes[0], bytes[1]: data length high, low; data from bytes[2].
  std::array<uint8_t, kMaxData + 2> bytes{};
  uint16_t dataLength = 0;

  size_t StreamLength() const { return size_t{dataLength} + 2; }
};

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Everything one Boot or Update call works with. It lives for the call only: nothing of it is
// looked at between loads.
struct BootState {
  std::unique_ptr<BootImage> image = std::make_unique<BootImage>();
  std::string programBytes;     // the firmware file, read whole before the load starts
  FileHandle program;           // a stream over programBytes
  uint8_t recordChecksum = 0;   // 8-bit sum of the data bytes of the last record sent
  bool moreRecords = false;     // a record was sent and awaits its checksum answer
  uint16_t totalBytes = 0;      // data bytes sent in this load (wraps at 16 bits)
  bool bootstrapPhase = false;  // the transfer must first stream the boot image
};

// Process-wide: the mode of the last Boot or Update, and the shadow of the parallel port's data
// register (bit 0 boot-mode line, bit 1 reset line).
struct ProcessBootState {
  std::atomic<uint8_t> bootFileMode{0};
  std::atomic<uint8_t> parallelShadow{0};
};
ProcessBootState& Process();

}  // namespace halvex::boot

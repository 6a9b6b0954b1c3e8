// Command frames host -> device: 02, N, command, arguments, 03 (N counts command and arguments).
// Frames are arrays of 16-bit elements because the transport sends the low byte of each.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

namespace halvex {

inline constexpr uint8_t kFrameStart = 0x02;
inline constexpr uint8_t kFrameEnd = 0x03;
// The memory frames' buffer holds 256 elements: N is at most 253, so a write carries at most
// 249 data bytes after count, X and Y.
inline constexpr int kMemoryFrameElements = 256;
inline constexpr int kMaxWriteData = kMemoryFrameElements - 7;
// The scanner-command frame holds 20 elements: at most 15 characters.
inline constexpr int kLaserFrameElements = 20;
inline constexpr int kMaxLaserCommand = kLaserFrameElements - 5;

class Frame {
 public:
  explicit Frame(uint8_t command) { elems_ = {kFrameStart, 0, command}; }

  // Each argument travels as one byte: the low 8 bits of the value.
  Frame& Arg(int value) {
    elems_.push_back(static_cast<int16_t>(value & 0xFF));
    return *this;
  }
  Frame& Args(std::initializer_list<int> values) {
    for (int v : values) Arg(v);
    return *this;
  }
  Frame& Bytes(std::span<const int16_t> values) {
    for (int16_t v : values) Arg(v);
    return *this;
  }
  Frame& Text(std::string_view text) {
    for (char c : text) Arg(static_cast<unsigned char>(c));
    return *this;
  }

  // Closes the frame (N and the end byte) and hands out the elements for the transport.
  std::vector<int16_t>& Finish() {
    elems_[1] = static_cast<int16_t>((elems_.size() - 2) & 0xFF);
    elems_.push_back(kFrameEnd);
    return elems_;
  }

 private:
  std::vector<int16_t> elems_;
};

// A frame of a command with single-byte arguments.
std::vector<int16_t> CommandFrame(uint8_t command, std::initializer_list<int> args = {});

// Address bytes X and Y of the memory commands: pages 0 and 1 carry the page number and the
// address's low byte; any other page is the extended memory with a 16-bit address.
struct MemAddress {
  uint8_t x;
  uint8_t y;
};
MemAddress MemoryAddressBytes(int16_t addr, int16_t page);

// 02 04 0F count X Y 03
std::vector<int16_t> MemoryReadFrame(int count, int16_t addr, int16_t page);
// 02 (count+4) 10 count X Y data... 03; the caller keeps data within kMaxWriteData.
std::vector<int16_t> MemoryWriteFrame(int16_t addr, int16_t page, std::span<const int16_t> data);

}  // namespace halvex

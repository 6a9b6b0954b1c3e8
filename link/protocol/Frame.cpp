#include "protocol/Frame.h"

namespace halvex {

std::vector<int16_t> CommandFrame(uint8_t command, std::initializer_list<int> args) {
  Frame f(command);
  f.Args(args);
  return f.Finish();
}

MemAddress MemoryAddressBytes(int16_t addr, int16_t page) {
  if (page == 0 || page == 1) {
    return {static_cast<uint8_t>(page), static_cast<uint8_t>(addr & 0xFF)};
  }
  // Arithmetic shift of the signed address, as the device firmware expects it.
  return {static_cast<uint8_t>((addr >> 8) & 0xFF), static_cast<uint8_t>(addr & 0xFF)};
}

std::vector<int16_t> MemoryReadFrame(int count, int16_t addr, int16_t page) {
  const MemAddress a = MemoryAddressBytes(addr, page);
  return CommandFrame(0x0F, {count, a.x, a.y});
}

std::vector<int16_t> MemoryWriteFrame(int16_t addr, int16_t page, std::span<const int16_t> data) {
  const MemAddress a = MemoryAddressBytes(addr, page);
  Frame f(0x10);
  f.Args({static_cast<int>(data.size()), a.x, a.y}).Bytes(data);
  return f.Finish();
}

}  // namespace halvex

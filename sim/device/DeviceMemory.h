#pragma once
// The device's non-volatile memory: EEPROM pages 0 and 1 (256 bytes each) and the extended memory
// (32,768 bytes, 16-bit addresses) of hand terminals.
//
// On the wire a memory command carries two address bytes X and Y. The link forms them as
// (page, address) for pages 0 and 1 and as (address >> 8, address & 0xFF) for the extended memory,
// so the two cannot be told apart on the wire. A device with extended memory therefore has one
// 16-bit address space X*256+Y in which its EEPROM pages 0 and 1 are the first 512 bytes; a device
// without it knows only X = 0 (page 0) and X = 1 (page 1). Page snapshots follow the same rule.
//
// Not thread-safe by itself: SimDevice guards it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qelta::sim {

inline constexpr std::size_t kPageSize = 256;
inline constexpr std::size_t kExtendedSize = 32768;
// Memory that was never written reads as erased EEPROM.
inline constexpr std::uint8_t kErasedByte = 0xFF;

enum class MemoryArea { kPage0, kPage1, kExtended };

// A resolved place in memory: area and offset into it.
struct MemoryLocation {
  MemoryArea area;
  std::size_t offset;
};

class DeviceMemory {
 public:
  DeviceMemory();

  // Whether X/Y address the extended memory (hand terminals) or only the two pages.
  void SetExtendedLayout(bool extended) { extended_ = extended; }
  bool ExtendedLayout() const { return extended_; }

  // Resolves wire address bytes for a transfer of `count` bytes; nullopt when any byte of the
  // range lies outside the addressed area (a transfer never wraps or spills into the next area).
  std::optional<MemoryLocation> Resolve(std::uint8_t x, std::uint8_t y, std::size_t count) const;

  // Range access on a resolved location; false when the range does not fit.
  bool Read(MemoryLocation at, std::size_t count, std::vector<std::uint8_t>& out) const;
  bool Write(MemoryLocation at, std::span<const std::uint8_t> data);

  // The raw areas, as stored (independent of the layout). Used by the state file.
  std::span<const std::uint8_t> Area(MemoryArea area) const;
  std::span<std::uint8_t> Area(MemoryArea area);

  // The 256 bytes that page 0 or 1 reads as on the wire in the current layout.
  std::vector<std::uint8_t> PageView(int page) const;

  void Erase();

 private:
  std::array<std::uint8_t, kPageSize> page0_;
  std::array<std::uint8_t, kPageSize> page1_;
  std::vector<std::uint8_t> extended_memory_;
  bool extended_ = false;
};

}  // namespace qelta::sim

#include "device/DeviceMemory.h"

#include <algorithm>

namespace qelta::sim {

DeviceMemory::DeviceMemory() : extended_memory_(kExtendedSize) { Erase(); }

void DeviceMemory::Erase() {
  page0_.fill(kErasedByte);
  page1_.fill(kErasedByte);
  std::fill(extended_memory_.begin(), extended_memory_.end(), kErasedByte);
}

std::optional<MemoryLocation> DeviceMemory::Resolve(std::uint8_t x, std::uint8_t y,
                                                    std::size_t count) const {
  MemoryLocation at{};
  if (extended_) {
    at = {MemoryArea::kExtended, (static_cast<std::size_t>(x) << 8) | y};
  } else if (x == 0) {
    at = {MemoryArea::kPage0, y};
  } else if (x == 1) {
    at = {MemoryArea::kPage1, y};
  } else {
    return std::nullopt;
  }
  if (at.offset + count > Area(at.area).size()) return std::nullopt;
  return at;
}

std::span<const std::uint8_t> DeviceMemory::Area(MemoryArea area) const {
  switch (area) {
    case MemoryArea::kPage0:
      return page0_;
    case MemoryArea::kPage1:
      return page1_;
    case MemoryArea::kExtended:
      break;
  }
  return extended_memory_;
}

std::span<std::uint8_t> DeviceMemory::Area(MemoryArea area) {
  switch (area) {
    case MemoryArea::kPage0:
      return page0_;
    case MemoryArea::kPage1:
      return page1_;
    case MemoryArea::kExtended:
      break;
  }
  return extended_memory_;
}

bool DeviceMemory::Read(MemoryLocation at, std::size_t count,
                        std::vector<std::uint8_t>& out) const {
  auto area = Area(at.area);
  if (at.offset > area.size() || count > area.size() - at.offset) return false;
  out.insert(out.end(), area.begin() + at.offset, area.begin() + at.offset + count);
  return true;
}

bool DeviceMemory::Write(MemoryLocation at, std::span<const std::uint8_t> data) {
  auto area = Area(at.area);
  if (at.offset > area.size() || data.size() > area.size() - at.offset) return false;
  std::copy(data.begin(), data.end(), area.begin() + at.offset);
  return true;
}

std::vector<std::uint8_t> DeviceMemory::PageView(int page) const {
  std::vector<std::uint8_t> out;
  if (page != 0 && page != 1) return out;
  auto at = Resolve(static_cast<std::uint8_t>(page), 0, kPageSize);
  if (at) Read(*at, kPageSize, out);
  return out;
}

}  // namespace qelta::sim

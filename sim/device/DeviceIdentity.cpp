#include "device/DeviceIdentity.h"

#include <charconv>

namespace qelta::sim {

std::vector<std::uint8_t> DeviceIdentity::InformationAnswer() const {
  return {0x12,
          type,
          version,
          static_cast<std::uint8_t>(id >> 8),
          static_cast<std::uint8_t>(id & 0xFF),
          date[0],
          date[1],
          date[2]};
}

std::optional<std::array<std::uint8_t, 3>> ParseDeviceDate(const std::string& text) {
  std::array<std::uint8_t, 3> date{};
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (std::size_t i = 0; i < date.size(); ++i) {
    if (i > 0) {
      if (p == end || *p != '.') return std::nullopt;
      ++p;
    }
    unsigned value = 0;
    auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || next == p || value > 255) return std::nullopt;
    date[i] = static_cast<std::uint8_t>(value);
    p = next;
  }
  if (p != end) return std::nullopt;
  return date;
}

std::string FormatDeviceDate(const std::array<std::uint8_t, 3>& date) {
  return std::to_string(date[0]) + "." + std::to_string(date[1]) + "." + std::to_string(date[2]);
}

}  // namespace qelta::sim

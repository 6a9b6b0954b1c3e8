#pragma once
// What a device tells about itself in its answer to the information request.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelta::sim {

// Device kinds the configurator tells apart; any other type code is a valid device too.
inline constexpr std::uint8_t kTypeHandTerminal = 8;  // settings in the extended memory
inline constexpr std::uint8_t kTypeBaseStation = 9;   // settings in EEPROM page 0

struct DeviceIdentity {
  std::uint8_t type = kTypeBaseStation;
  std::uint8_t version = 1;
  std::uint16_t id = 0;
  // Manufacturing date as the device reports it: day, month, year - 2000.
  std::array<std::uint8_t, 3> date{1, 1, 26};

  bool HasExtendedMemory() const { return type == kTypeHandTerminal; }

  // The answer to 02 01 12 03: 12 type version idH idL d1 d2 d3.
  std::vector<std::uint8_t> InformationAnswer() const;

  bool operator==(const DeviceIdentity&) const = default;
};

// Parses "D.M.Y" with three numbers 0..255 (the format the link shows); nullopt when malformed.
std::optional<std::array<std::uint8_t, 3>> ParseDeviceDate(const std::string& text);
std::string FormatDeviceDate(const std::array<std::uint8_t, 3>& date);

}  // namespace qelta::sim

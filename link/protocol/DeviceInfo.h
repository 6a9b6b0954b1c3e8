// The device-information cache, one per process: filled by ReadInfo, dropped by Connect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace halvex {

inline constexpr uint8_t kInfoCommand = 0x12;

struct DeviceInfo {
  uint8_t type = 0;
  uint8_t version = 0;
  uint8_t idHigh = 0;
  uint8_t idLow = 0;
  uint8_t date[3] = {};

  std::string VersionText() const;
  std::string IdText() const;    // high * 256 + low
  std::string DateText() const;  // "d.m.y"
};

// Finds the information code in the reply (position 1 wins over position 0) and takes the seven
// bytes after it. `reply` must hold at least 9 bytes (the link's reply buffer holds 512).
std::optional<DeviceInfo> ParseInfoReply(const uint8_t* reply, size_t size);

// Device information of a reply that starts with the code, as GetSWVersion, GetID and
// GetManfDate read it (bytes 1 to 7).
DeviceInfo InfoAtStart(const uint8_t* reply);

std::optional<DeviceInfo> CachedDeviceInfo();
void StoreDeviceInfo(const DeviceInfo& info);
void InvalidateDeviceInfo();

// Memory layouts by device type.
bool IsLayoutA(int type);
struct ChannelLocation {
  int16_t addr;
  int16_t page;
};
ChannelLocation ChannelLocationFor(int type);

}  // namespace halvex

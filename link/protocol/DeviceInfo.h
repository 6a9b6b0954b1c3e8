// The device information a link object has read, and how replies carry it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
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

// The device-information cache of one link object: filled by ReadInfo, dropped by Connect, and
// while valid the identification operations answer from it. Each link object has its own, so a
// link never answers with the device another link object has read.
class DeviceInfoCache {
 public:
  std::optional<DeviceInfo> Get() const;
  void Store(const DeviceInfo& info);
  void Invalidate();

 private:
  // Read and written on the host's thread; the lock keeps a reader from seeing half an update.
  mutable std::mutex m_;
  std::optional<DeviceInfo> info_;
};

// Memory layouts by device type.
bool IsLayoutA(int type);
struct ChannelLocation {
  int16_t addr;
  int16_t page;
};
ChannelLocation ChannelLocationFor(int type);

}  // namespace halvex

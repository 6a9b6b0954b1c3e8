#include "protocol/DeviceInfo.h"

#include <mutex>

namespace halvex {

std::string DeviceInfo::VersionText() const { return std::to_string(version); }

std::string DeviceInfo::IdText() const { return std::to_string(idHigh * 256 + idLow); }

std::string DeviceInfo::DateText() const {
  return std::to_string(date[0]) + "." + std::to_string(date[1]) + "." + std::to_string(date[2]);
}

DeviceInfo InfoAtStart(const uint8_t* reply) {
  DeviceInfo info;
  info.type = reply[1];
  info.version = reply[2];
  info.idHigh = reply[3];
  info.idLow = reply[4];
  info.date[0] = reply[5];
  info.date[1] = reply[6];
  info.date[2] = reply[7];
  return info;
}

std::optional<DeviceInfo> ParseInfoReply(const uint8_t* reply, size_t size) {
  if (size < 9) return std::nullopt;
  size_t p;
  if (reply[1] == kInfoCommand) {
    p = 1;
  } else if (reply[0] == kInfoCommand) {
    p = 0;
  } else {
    return std::nullopt;
  }
  return InfoAtStart(reply + p);
}

std::optional<DeviceInfo> DeviceInfoCache::Get() const {
  std::lock_guard lock(m_);
  return info_;
}

void DeviceInfoCache::Store(const DeviceInfo& info) {
  std::lock_guard lock(m_);
  info_ = info;
}

void DeviceInfoCache::Invalidate() {
  std::lock_guard lock(m_);
  info_.reset();
}

bool IsLayoutA(int type) {
  switch (type) {
    case 0:
    case 1:
    case 4:
    case 5:
    case 12:
    case 13:
      return true;
    default:
      return false;
  }
}

ChannelLocation ChannelLocationFor(int type) {
  if (IsLayoutA(type)) return {19, 0};
  if (type == 8) return {125, 2};
  return {13, 0};
}

}  // namespace halvex

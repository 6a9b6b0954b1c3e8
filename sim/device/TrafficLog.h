#pragma once
// Writes every frame a device receives and every answer it sends as one line of hexadecimal:
//
//   02:31:07.125 RX 02 01 12 03
//   02:31:07.128 TX 12 09 07 01 2C 0F 06 06
//
// (UTC time of day with milliseconds, direction, bytes). Thread-safe; lines are flushed at once.

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>

#include "device/SimDevice.h"

namespace qelta::sim {

class TrafficLog {
 public:
  TrafficLog() = default;
  ~TrafficLog();
  TrafficLog(const TrafficLog&) = delete;
  TrafficLog& operator=(const TrafficLog&) = delete;

  // Opens (appends to) the file; false when it cannot be opened.
  bool Open(const std::string& path);
  void Write(Direction direction, std::span<const std::uint8_t> bytes);
  // An observer for SimDevice::SetTrafficObserver; the log must outlive the device's use of it.
  SimDevice::TrafficObserver Observer();

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

std::string FormatTrafficLine(Direction direction, std::span<const std::uint8_t> bytes);

}  // namespace qelta::sim

#include "device/TrafficLog.h"

#include <chrono>
#include <ctime>

namespace qelta::sim {

std::string FormatTrafficLine(Direction direction, std::span<const std::uint8_t> bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms % 1000));
  std::string line = stamp;
  line += direction == Direction::kReceived ? " RX" : " TX";
  for (std::uint8_t b : bytes) {
    line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 0x0F];
  }
  return line;
}

TrafficLog::~TrafficLog() {
  if (file_) std::fclose(file_);
}

bool TrafficLog::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "a");
  return file_ != nullptr;
}

void TrafficLog::Write(Direction direction, std::span<const std::uint8_t> bytes) {
  const std::string line = FormatTrafficLine(direction, bytes);
  std::lock_guard lock(mutex_);
  if (!file_) return;
  std::fprintf(file_, "%s\n", line.c_str());
  std::fflush(file_);
}

SimDevice::TrafficObserver TrafficLog::Observer() {
  return
      [this](Direction direction, std::span<const std::uint8_t> bytes) { Write(direction, bytes); };
}

}  // namespace qelta::sim

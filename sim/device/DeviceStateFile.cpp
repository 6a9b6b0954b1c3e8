#include "device/DeviceStateFile.h"

#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace qelta::sim {

namespace {

constexpr const char* kHeader = "qelta-sim-state 1";
constexpr std::size_t kBytesPerLine = 32;

struct AreaName {
  const char* name;
  MemoryArea area;
};
constexpr AreaName kAreas[] = {
    {"page0", MemoryArea::kPage0}, {"page1", MemoryArea::kPage1}, {"ext", MemoryArea::kExtended}};

bool ParseNumber(const std::string& text, unsigned max, unsigned& out, int base = 10) {
  if (text.empty()) return false;
  unsigned value = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || p != text.data() + text.size() || value > max) return false;
  out = value;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Everything a file may set, collected before any of it is applied.
struct LoadedState {
  DeviceIdentity identity;
  std::vector<std::uint8_t> areas[3];
  std::vector<std::uint8_t> flash;  // the boot loaders' flash
};

constexpr const char* kFlashKey = "flash";
constexpr std::size_t kFlashSize = 0x10000;

StateFileResult Fail(const std::string& path, int line, const std::string& what) {
  return {false, path + ":" + std::to_string(line) + ": " + what};
}

}  // namespace

StateFileResult LoadDeviceState(const std::string& path, SimDevice& device) {
  std::ifstream in(path);
  if (!in) return {false, path + ": cannot open"};

  LoadedState loaded;
  loaded.identity = device.Identity();
  loaded.areas[0].assign(kPageSize, kErasedByte);
  loaded.areas[1].assign(kPageSize, kErasedByte);
  loaded.areas[2].assign(kExtendedSize, kErasedByte);
  loaded.flash.assign(kFlashSize, kErasedByte);

  std::string line;
  int number = 0;
  bool header = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 4096) return Fail(path, number, "line too long");
    if (line.empty() || line[0] == '#') continue;
    if (!header) {
      if (line != kHeader) return Fail(path, number, "not a qelta-sim state file");
      header = true;
      continue;
    }
    std::istringstream fields(line);
    std::string key, a, b, extra;
    fields >> key >> a >> b >> extra;
    unsigned value = 0;
    if (key == "type" || key == "version" || key == "id") {
      if (!b.empty()) return Fail(path, number, "trailing text");
      if (!ParseNumber(a, key == "id" ? 65535 : 255, value)) {
        return Fail(path, number, "bad " + key + " '" + a + "'");
      }
      if (key == "type") loaded.identity.type = static_cast<std::uint8_t>(value);
      if (key == "version") loaded.identity.version = static_cast<std::uint8_t>(value);
      if (key == "id") loaded.identity.id = static_cast<std::uint16_t>(value);
      continue;
    }
    if (key == "date") {
      auto date = ParseDeviceDate(a);
      if (!date || !b.empty()) return Fail(path, number, "bad date '" + a + "'");
      loaded.identity.date = *date;
      continue;
    }
    int area_index = -1;
    for (int i = 0; i < 3; ++i) {
      if (key == kAreas[i].name) area_index = i;
    }
    if (area_index < 0 && key != kFlashKey) {
      return Fail(path, number, "unknown key '" + key + "'");
    }
    std::vector<std::uint8_t>& area = area_index < 0 ? loaded.flash : loaded.areas[area_index];
    if (!extra.empty()) return Fail(path, number, "trailing text");
    if (a.size() != 4 || !ParseNumber(a, 0xFFFF, value, 16)) {
      return Fail(path, number, "bad offset '" + a + "'");
    }
    if (b.empty() || b.size() % 2 != 0) return Fail(path, number, "bad hex data");
    const std::size_t count = b.size() / 2;
    if (value > area.size() || count > area.size() - value) {
      return Fail(path, number, "data beyond the end of " + key);
    }
    for (std::size_t i = 0; i < count; ++i) {
      const int hi = HexDigit(b[2 * i]);
      const int lo = HexDigit(b[2 * i + 1]);
      if (hi < 0 || lo < 0) return Fail(path, number, "bad hex data");
      area[value + i] = static_cast<std::uint8_t>(hi * 16 + lo);
    }
  }
  if (in.bad()) return {false, path + ": read error"};
  if (!header) return Fail(path, number, "empty file");

  device.SetIdentity(loaded.identity);
  device.WithMemory([&](DeviceMemory& memory) {
    for (int i = 0; i < 3; ++i) {
      auto target = memory.Area(kAreas[i].area);
      std::copy(loaded.areas[i].begin(), loaded.areas[i].end(), target.begin());
    }
  });
  device.RestoreBootFlash(loaded.flash);
  return {true, {}};
}

StateFileResult SaveDeviceState(const std::string& path, SimDevice& device) {
  static const char kHex[] = "0123456789ABCDEF";
  const DeviceIdentity identity = device.Identity();
  std::ostringstream out;
  out << kHeader << "\n";
  out << "type " << unsigned(identity.type) << "\n";
  out << "version " << unsigned(identity.version) << "\n";
  out << "id " << identity.id << "\n";
  out << "date " << FormatDeviceDate(identity.date) << "\n";
  // Every line of 32 bytes that is not fully erased.
  auto write_area = [&out](const char* name, std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += kBytesPerLine) {
      auto chunk = bytes.subspan(at, std::min(kBytesPerLine, bytes.size() - at));
      bool erased = true;
      for (std::uint8_t b : chunk) erased = erased && b == kErasedByte;
      if (erased) continue;
      char offset[24];
      std::snprintf(offset, sizeof offset, "%04zX", at);
      out << name << ' ' << offset << ' ';
      for (std::uint8_t b : chunk) out << kHex[b >> 4] << kHex[b & 0x0F];
      out << "\n";
    }
  };
  device.WithMemory([&](DeviceMemory& memory) {
    for (const AreaName& area : kAreas) write_area(area.name, memory.Area(area.area));
  });
  write_area(kFlashKey, device.BootFlash());

  const std::string temp = path + ".tmp";
  {
    std::ofstream file(temp, std::ios::trunc);
    if (!file) return {false, temp + ": cannot create"};
    file << out.str();
    file.flush();
    if (!file) {
      std::remove(temp.c_str());
      return {false, temp + ": write error"};
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return {false, path + ": cannot replace"};
  }
  return {true, {}};
}

}  // namespace qelta::sim

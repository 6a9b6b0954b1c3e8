#include "boot/SRecord.h"

namespace halvex::boot {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at `pos`; false when the line is too short or a digit is bad.
bool HexField(std::string_view s, size_t pos, size_t digits, uint32_t& value) {
  if (pos + digits > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    int d = HexDigit(s[pos + i]);
    if (d < 0) return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return true;
}

}  // namespace

SRecord ParseSRecord(std::string_view line) {
  SRecord rec;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() < 2 || line[0] != 'S' || (line[1] != '1' && line[1] != '9')) return rec;

  rec.kind = RecordKind::Malformed;
  uint32_t address = 0;
  if (!HexField(line, 4, 4, address)) return rec;
  rec.address = static_cast<uint16_t>(address);
  if (line[1] == '9') {
    rec.kind = RecordKind::Start;
    return rec;
  }

  uint32_t count = 0;
  if (!HexField(line, 2, 2, count) || count < 3) return rec;
  const size_t length = count - 3;
  rec.data.resize(length);
  for (size_t i = 0; i < length; ++i) {
    uint32_t byte = 0;
    if (!HexField(line, 8 + 2 * i, 2, byte)) {
      rec.data.clear();
      return rec;
    }
    rec.data[i] = static_cast<uint8_t>(byte);
  }
  rec.kind = RecordKind::Data;
  return rec;
}

bool ReadLine(std::FILE* file, size_t bufferSize, std::string& line) {
  line.clear();
  if (file == nullptr || bufferSize < 2) return false;
  while (line.size() + 1 < bufferSize) {
    int c = std::fgetc(file);
    if (c == EOF) break;
    line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !line.empty();
}

}  // namespace halvex::boot

#include "params/ReadSetup.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "params/ColonFields.h"

namespace qelta {

namespace {

constexpr size_t kMaxName = 255;
constexpr size_t kLineBuffer = 999;  // characters per read; longer lines come in pieces

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Scans like "%u": white space, an optional sign, at least one digit. A negative number wraps
// around as it would in an unsigned conversion; a too big one saturates.
bool ScanUnsigned(const std::string& text, size_t& pos, uint32_t& value) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos]))) return false;
  uint64_t v = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    v = std::min<uint64_t>(v * 10 + static_cast<uint64_t>(text[pos] - '0'),
                           std::numeric_limits<uint32_t>::max());
    ++pos;
  }
  value = static_cast<uint32_t>(v);
  if (negative) value = 0u - value;
  return true;
}

bool ScanWord(const std::string& text, size_t& pos, std::string& word) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  const size_t start = pos;
  while (pos < text.size() && !IsSpace(text[pos])) ++pos;
  word = text.substr(start, pos - start);
  return !word.empty();
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The line as the filter leaves it: cut at its first line end, leading blanks removed; empty
// when it is to be ignored.
std::string Filtered(const std::string& raw) {
  std::string line = raw.substr(0, raw.find_first_of("\r\n"));
  const size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  line.erase(0, first);
  if (line[0] == ';') return {};
  const auto colons = std::count(line.begin(), line.end(), ':');
  if (colons != 3 && colons != 4) return {};
  return line;
}

}  // namespace

bool ParseSelectionLine(const std::string& raw, SelectionEntry& entry) {
  std::string line = Filtered(raw);
  if (line.empty()) return false;
  const auto colons = std::count(line.begin(), line.end(), ':');
  std::replace(line.begin(), line.end(), ':', ' ');
  SelectionEntry parsed;
  size_t pos = 0;
  if (!ScanWord(line, pos, parsed.name) || parsed.name.size() > kMaxName) return false;
  if (!ScanUnsigned(line, pos, parsed.address)) return false;
  if (colons == 4) {
    if (!ScanUnsigned(line, pos, parsed.length) || !ScanUnsigned(line, pos, parsed.x) ||
        !ScanUnsigned(line, pos, parsed.y)) {
      return false;
    }
    parsed.kind = SelectionKind::kNumeric;
  } else {
    std::string type;
    if (!ScanWord(line, pos, type) || !ScanUnsigned(line, pos, parsed.length)) return false;
    type = Lower(type);
    if (type == "text") {
      parsed.kind = SelectionKind::kText;
    } else if (type == "ftext") {
      parsed.kind = SelectionKind::kFunctionKeyText;
    } else {
      return false;
    }
  }
  entry = std::move(parsed);
  return true;
}

ReadSetupResult LoadReadSetupFile(const std::string& path) {
  ReadSetupResult result;
  LineReader reader(kLineBuffer);
  if (!reader.Open(path)) return result;
  result.opened = true;
  std::vector<std::string> kept;
  while (auto line = reader.Next()) {
    if (!Filtered(*line).empty()) kept.push_back(*line);
  }
  if (kept.size() > kMaxSelectionEntries) {
    result.tooManyEntries = true;
    return result;
  }
  for (const std::string& line : kept) {
    SelectionEntry entry;
    if (ParseSelectionLine(line, entry)) result.entries.push_back(std::move(entry));
  }
  return result;
}

}  // namespace qelta

#include "protocol/EepromFile.h"

#include <algorithm>
#include <string_view>

namespace halvex {

EprTables::EprTables() : comments(kEprTableSize, " ") {
  page0.fill(kEprUnset);
  page1.fill(kEprUnset);
}

std::vector<std::string> SplitEprLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string::npos ? text.size() : nl + 1;
    if (end - pos > kEprLineChunk) end = pos + kEprLineChunk;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

namespace {

// Numbers stop growing here: far outside every range the file uses.
constexpr int32_t kSaturated = 100000;
// A value field holds at most three digits; 300 marks an unset address.
constexpr int32_t kEprLargestValue = 999;

// The line without its line end (a CR before it as well: files may come from Windows).
std::string_view Body(const std::string& line) {
  std::string_view v(line);
  if (!v.empty() && v.back() == '\n') v.remove_suffix(1);
  if (!v.empty() && v.back() == '\r') v.remove_suffix(1);
  return v;
}

// A decimal number with optional blanks around it and an optional sign; false for anything else.
// Saturates far outside the table's range, so a long run of digits cannot overflow.
bool ParseNumber(std::string_view field, int32_t& out) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!field.empty() && blank(field.front())) field.remove_prefix(1);
  while (!field.empty() && blank(field.back())) field.remove_suffix(1);
  bool negative = false;
  if (!field.empty() && (field.front() == '-' || field.front() == '+')) {
    negative = field.front() == '-';
    field.remove_prefix(1);
  }
  if (field.empty()) return false;
  int32_t v = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    v = std::min<int32_t>(v * 10 + (c - '0'), kSaturated);
  }
  out = negative ? -v : v;
  return true;
}

}  // namespace

EprParseResult ParseEepromFile(const std::string& text, EprTables& tables) {
  int page = -1;  // page of the previous "E" line
  for (const std::string& line : SplitEprLines(text)) {
    const std::string_view body = Body(line);
    if (body.size() >= 2 && body[0] == 'L' && body[1] == ':') {
      std::string_view cmd = body.substr(2);
      cmd = cmd.substr(0, cmd.find(':'));
      tables.laserCommands.emplace_back(cmd);
      continue;
    }
    if (body.empty() || body[0] != 'E') continue;
    int linePage = page;
    if (body.size() >= 2 && body[1] == ':') {
      if (body.size() < 3 || (body[2] != '0' && body[2] != '1')) continue;
      linePage = body[2] - '0';
      page = linePage;
    }
    // Lines before the first page is known store nothing, whatever they hold (a title line such
    // as "Eeprom defaults BS7" starts with an "E" too).
    if (linePage < 0) continue;
    const std::string_view rest = body.size() > 4 ? body.substr(4) : std::string_view{};
    const size_t addrEnd = rest.find(':');
    // A line without both number fields stores nothing.
    if (addrEnd == std::string_view::npos) continue;
    int32_t addr = 0;
    if (!ParseNumber(rest.substr(0, addrEnd), addr)) continue;
    // An address the tables do not have is the one fault that stops the file.
    if (addr < 0 || addr >= kEprTableSize) return EprParseResult::kBadAddress;
    const std::string_view afterAddr = rest.substr(addrEnd + 1);
    const size_t valueEnd = afterAddr.find(':');
    int32_t value = 0;
    if (!ParseNumber(afterAddr.substr(0, valueEnd), value)) continue;
    if (value < 0 || value > kEprLargestValue) continue;
    std::string_view comment =
        valueEnd == std::string_view::npos ? std::string_view{} : afterAddr.substr(valueEnd + 1);
    if (comment.size() > kEprCommentMax) comment = comment.substr(0, kEprCommentMax);
    (linePage == 0 ? tables.page0 : tables.page1)[static_cast<size_t>(addr)] = value;
    tables.comments[static_cast<size_t>(addr)] = std::string(comment);
  }
  return EprParseResult::kOk;
}

std::vector<EprRun> WalkEprRuns(std::span<const int32_t, kEprTableSize> table) {
  std::vector<EprRun> runs;
  bool open = false;
  EprRun run;
  for (int addr = 0; addr < kEprTableSize; ++addr) {
    const int32_t v = table[static_cast<size_t>(addr)];
    if (v != kEprUnset) {
      if (!open) {
        run = EprRun{addr, {}, RunEnd::kFull};
        open = true;
      }
      run.values.push_back(static_cast<int16_t>(v & 0xFF));
      if (static_cast<int>(run.values.size()) == kEprRunLength) {
        run.end = RunEnd::kFull;
        runs.push_back(run);
        open = false;
      }
    } else if (open) {
      run.end = RunEnd::kUnset;
      runs.push_back(run);
      open = false;
    }
  }
  // A run still open at the end of the page holds the file's last bytes: write it too.
  if (open) {
    run.end = RunEnd::kEndOfPage;
    runs.push_back(run);
  }
  return runs;
}

std::string FormatEepromFile(std::span<const uint8_t, kPageImageSize> page0,
                             std::span<const uint8_t, kPageImageSize> page1) {
  std::string out = "//Eeprom settings\n";
  auto page = [&out](int p, std::span<const uint8_t, kPageImageSize> image) {
    out += p == 0 ? "//***PAGE 0***\n" : "//***PAGE 1***\n";
    for (int addr = 0; addr < kEprTableSize; ++addr) {
      const int value = addr < kPageImageSize ? image[static_cast<size_t>(addr)] : kEprUnset;
      out += "E:" + std::to_string(p) + ":" + std::to_string(addr) + ":" + std::to_string(value) +
             ":**\n";
    }
  };
  page(0, page0);
  page(1, page1);
  return out;
}

}  // namespace halvex

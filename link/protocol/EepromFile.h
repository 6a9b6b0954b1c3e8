// The EEPROM file: a text file listing the contents of both EEPROM pages ("E:page:addr:value:
// comment" lines) and scanner commands ("L:command" lines).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "protocol/ProtocolState.h"

namespace halvex {

// A line is read up to this many characters at a time; the rest comes as the next line.
inline constexpr size_t kEprLineChunk = 198;
// A run is written once it holds this many values.
inline constexpr int kEprRunLength = 13;

struct EprTables {
  std::array<int32_t, kEprTableSize> page0;
  std::array<int32_t, kEprTableSize> page1;
  std::vector<std::string> comments;
  std::vector<std::string> laserCommands;
  EprTables();
};

enum class EprParseResult { kOk, kBadAddress };

// Parses the file's text (every line with its line end) into the tables. An address outside
// 0 to 255 or an "E" line whose numbers are not decimal stops the parse; nothing is stored for
// that line or after it.
EprParseResult ParseEepromFile(const std::string& text, EprTables& tables);

// Splits text into the pieces the reader sees: lines with their line ends, cut every 198
// characters.
std::vector<std::string> SplitEprLines(const std::string& text);

enum class RunEnd { kFull, kUnset, kEndOfPage };
struct EprRun {
  int start = 0;
  std::vector<int16_t> values;
  RunEnd end = RunEnd::kFull;
};

// The runs of set entries of one page's value table, in address order: a run is closed when it
// holds 13 values, at an unset entry, or at the end of the page.
std::vector<EprRun> WalkEprRuns(std::span<const int32_t, kEprTableSize> table);

// The file written from the two page images (address 255 lies outside them and is written as
// unset, so that reading the file back never changes that address on a device).
std::string FormatEepromFile(std::span<const uint8_t, kPageImageSize> page0,
                             std::span<const uint8_t, kPageImageSize> page1);

}  // namespace halvex

// The read-out's selection: which parameters to read from a hand terminal, from which address of
// its extended memory and as what kind of value ("HT_parameters_to_get.cfg").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qelta {

enum class SelectionKind : int { kNumeric = 1, kText = 2, kFunctionKeyText = 3 };

struct SelectionEntry {
  std::string name;
  SelectionKind kind = SelectionKind::kNumeric;
  uint32_t address = 0;
  uint32_t length = 0;
  uint32_t x = 0;
  uint32_t y = 0;
};

inline constexpr size_t kMaxSelectionEntries = 1000;
inline constexpr const char* kReadSetupFileName = "HT_parameters_to_get.cfg";

// One line, line end included or not: the entry it defines, or nothing when the line is a
// comment, blank, malformed or has neither 3 nor 4 colons.
bool ParseSelectionLine(const std::string& line, SelectionEntry& entry);

struct ReadSetupResult {
  bool opened = false;
  bool tooManyEntries = false;  // more than 1000 usable lines: the table stays empty
  std::vector<SelectionEntry> entries;
};

ReadSetupResult LoadReadSetupFile(const std::string& path);

}  // namespace qelta

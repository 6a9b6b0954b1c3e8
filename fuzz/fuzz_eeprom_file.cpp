// Any bytes as an EEPROM file: the line pieces, the "E" and "L:" lines, the runs that would be
// written, and the file written from two page images read back.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "protocol/EepromFile.h"

namespace {

using qelta::fuzz::Expect;

void CheckRuns(const std::array<int32_t, halvex::kEprTableSize>& table) {
  int next = 0;  // every set entry is in exactly one run, in address order
  for (const halvex::EprRun& run : halvex::WalkEprRuns(table)) {
    Expect(run.start >= next, "runs come in address order");
    for (int a = next; a < run.start; ++a) {
      Expect(table[a] == halvex::kEprUnset, "no set entry skipped");
    }
    Expect(!run.values.empty() && run.values.size() <= halvex::kEprRunLength,
           "a run holds 1 to 13 values");
    Expect((run.end == halvex::RunEnd::kFull) == (run.values.size() == halvex::kEprRunLength),
           "full runs, and only they, hold 13 values");
    for (size_t i = 0; i < run.values.size(); ++i) {
      const int32_t v = table[static_cast<size_t>(run.start) + i];
      Expect(v != halvex::kEprUnset && run.values[i] == (v & 0xFF), "a run holds the low bytes");
    }
    next = run.start + static_cast<int>(run.values.size());
    Expect(next <= halvex::kEprTableSize, "a run ends inside the page");
    if (run.end == halvex::RunEnd::kUnset) {
      Expect(next < halvex::kEprTableSize && table[static_cast<size_t>(next)] == halvex::kEprUnset,
             "a run closed by an unset entry ends before one");
    }
  }
  for (int a = next; a < halvex::kEprTableSize; ++a) {
    Expect(table[a] == halvex::kEprUnset, "no set entry after the last run");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  std::string joined;
  for (const std::string& piece : halvex::SplitEprLines(text)) {
    Expect(!piece.empty() && piece.size() <= halvex::kEprLineChunk,
           "pieces of 1 to 198 characters");
    Expect(piece.find('\n') == std::string::npos || piece.find('\n') == piece.size() - 1,
           "a line end only at a piece's end");
    joined += piece;
  }
  Expect(joined == text, "the pieces make up the file");

  halvex::EprTables tables;
  const auto result = halvex::ParseEepromFile(text, tables);
  Expect(result == halvex::EprParseResult::kOk || result == halvex::EprParseResult::kBadAddress,
         "a known result");
  for (const auto* table : {&tables.page0, &tables.page1}) {
    for (int32_t v : *table) Expect(v >= 0 && v <= 999, "values of at most three digits");
    CheckRuns(*table);
  }
  Expect(tables.comments.size() == halvex::kEprTableSize, "one comment per address");
  for (const std::string& c : tables.comments) {
    Expect(c.size() <= halvex::kEprCommentMax, "comments of at most 49 characters");
  }
  for (const std::string& cmd : tables.laserCommands) {
    Expect(cmd.find_first_of(":\n") == std::string::npos, "a scanner command is one field");
  }

  // The images written as a file read back unchanged; address 255 lies outside them.
  if (size == 0) return 0;
  std::array<uint8_t, halvex::kPageImageSize> page0{}, page1{};
  for (size_t i = 0; i < page0.size(); ++i) {
    page0[i] = data[i % size];
    page1[i] = data[(i + page0.size()) % size];
  }
  halvex::EprTables back;
  Expect(halvex::ParseEepromFile(halvex::FormatEepromFile(page0, page1), back) ==
             halvex::EprParseResult::kOk,
         "a written file reads");
  for (size_t a = 0; a < page0.size(); ++a) {
    Expect(back.page0[a] == page0[a] && back.page1[a] == page1[a], "written bytes read back");
  }
  Expect(back.page0[255] == halvex::kEprUnset && back.page1[255] == halvex::kEprUnset,
         "address 255 reads back unset");
  return 0;
}

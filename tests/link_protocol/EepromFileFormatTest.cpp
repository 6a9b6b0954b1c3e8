// The EEPROM file's lines as the reader takes them, and the file written from the images.
#include <gtest/gtest.h>

#include "protocol/EepromFile.h"

namespace {

using halvex::EprParseResult;
using halvex::EprTables;
constexpr int32_t kUnset = halvex::kEprUnset;

TEST(EepromFileParse, LinesFillTablesByPage) {
  EprTables t;
  const std::string text =
      "//Eeprom settings\n"
      "E 0 5:7:x\n"  // no page known yet: not stored
      "E:1:200:255:channel table\r\n"
      "E 1 6:8:y\n"      // no colon: the previous line's page
      "E:0:13:300:**\n"  // 300: not set
      "E:2:14:9:**\n"    // no such page
      "L:ZA\nL:HD:ignored\n"
      "E:0:1:2:" +
      std::string(80, 'c') +
      "\n"
      "E:0:3:4:ab";  // no line end at the end of the file
  ASSERT_EQ(halvex::ParseEepromFile(text, t), EprParseResult::kOk);
  EXPECT_EQ(t.page1[200], 255);
  EXPECT_EQ(t.comments[200], "channel table");
  EXPECT_EQ(t.page1[6], 8);
  EXPECT_EQ(t.page0[5], kUnset);
  EXPECT_EQ(t.page1[5], kUnset);
  EXPECT_EQ(t.page0[13], kUnset);
  EXPECT_EQ(t.page0[14], kUnset);
  EXPECT_EQ(t.page1[14], kUnset);
  EXPECT_EQ(t.comments[14], " ");
  EXPECT_EQ(t.comments[1], std::string(49, 'c'));
  EXPECT_EQ(t.page0[3], 4);
  EXPECT_EQ(t.comments[3], "ab");
  EXPECT_EQ(t.laserCommands, (std::vector<std::string>{"ZA", "HD"}));
}

// One row per file: the parse result and what the table holds at one address afterwards.
TEST(EepromFileParse, OnlyAnAddressOutsideTheTableStopsTheFile) {
  struct Case {
    const char* text;
    EprParseResult result;
    int page;
    size_t addr;
    int32_t value;
  } cases[] = {
      // Title lines start with "E" but hold no numbers, before or after the first page line.
      {"Eeprom defaults BS7\nE:0:5:7:**\n", EprParseResult::kOk, 0, 5, 7},
      {"E:0:5:7:**\nEeprom defaults BS7\n", EprParseResult::kOk, 0, 5, 7},
      {"Eeprom: 999 entries: x\nE:1:5:7:**\n", EprParseResult::kOk, 1, 5, 7},
      // Blanks around the numbers.
      {"E:0: 12 : 34 :**\n", EprParseResult::kOk, 0, 12, 34},
      {"E:1:\t9\t:200:x\r\n", EprParseResult::kOk, 1, 9, 200},
      {"E:0:+7:+8:**\n", EprParseResult::kOk, 0, 7, 8},
      // Lines whose fields are not numbers store nothing; the file goes on.
      {"E:0:x1:1:**\nE:0:2:3:**\n", EprParseResult::kOk, 0, 2, 3},
      {"E:0:1::**\n", EprParseResult::kOk, 0, 1, kUnset},
      {"E:0:1\n", EprParseResult::kOk, 0, 1, kUnset},
      {"E:0:1:2 3:**\n", EprParseResult::kOk, 0, 1, kUnset},
      {"E:0:4:1000:**\n", EprParseResult::kOk, 0, 4, kUnset},
      {"E:0:4:-1:**\n", EprParseResult::kOk, 0, 4, kUnset},
      {"E:0:  :5:**\n", EprParseResult::kOk, 0, 0, kUnset},
      // Addresses outside 0-255 stop the file; nothing after them is stored.
      {"E:0:256:1:**\n", EprParseResult::kBadAddress, 0, 0, kUnset},
      {"E:0:1000:1:**\n", EprParseResult::kBadAddress, 0, 0, kUnset},
      {"E:0:-1:1:**\n", EprParseResult::kBadAddress, 0, 0, kUnset},
      {"E:1: 300 :1:**\n", EprParseResult::kBadAddress, 1, 0, kUnset},
      {"E:0:99999999999999999999:1:**\n", EprParseResult::kBadAddress, 0, 0, kUnset},
      {"E:0:1:2:**\nE:0:256:1:**\nE:0:3:4:**\n", EprParseResult::kBadAddress, 0, 3, kUnset},
  };
  for (const auto& c : cases) {
    EprTables t;
    EXPECT_EQ(halvex::ParseEepromFile(c.text, t), c.result) << c.text;
    EXPECT_EQ((c.page == 0 ? t.page0 : t.page1)[c.addr], c.value) << c.text;
  }
}

TEST(EepromFileParse, OverlongLinesAreReadInPieces) {
  // 198 characters at a time: the rest of a long line is read as a line of its own.
  const std::string line = "E:0:1:2:" + std::string(190, 'c') + "E:0:9:9:**\n";
  EprTables t;
  ASSERT_EQ(halvex::ParseEepromFile(line, t), EprParseResult::kOk);
  EXPECT_EQ(t.page0[1], 2);
  EXPECT_EQ(t.page0[9], 9);
}

TEST(EepromFileRuns, FullPageEndsWithTheRunOpenAtAddress255) {
  std::array<int32_t, 256> full;
  for (int i = 0; i < 256; ++i) full[i] = i;
  auto runs = halvex::WalkEprRuns(full);
  ASSERT_EQ(runs.size(), 20u);
  EXPECT_EQ(runs.back().start, 247);
  EXPECT_EQ(runs.back().values.size(), 9u);
  EXPECT_EQ(runs.back().values.back(), 255);
  EXPECT_EQ(runs.back().end, halvex::RunEnd::kEndOfPage);
}

TEST(EepromFileWrite, LineFormatAndAddress255Unset) {
  std::array<uint8_t, 255> p0{}, p1{};
  p0[12] = 1;
  p1[0] = 255;
  const std::string text = halvex::FormatEepromFile(p0, p1);
  EXPECT_EQ(text.substr(0, 46), "//Eeprom settings\n//***PAGE 0***\nE:0:0:0:**\nE:");
  EXPECT_NE(text.find("\nE:0:12:1:**\n"), std::string::npos);
  EXPECT_NE(text.find("\nE:0:255:300:**\n//***PAGE 1***\nE:1:0:255:**\n"), std::string::npos);
  EXPECT_EQ(halvex::SplitEprLines(text).size(), 515u);
  EXPECT_TRUE(text.ends_with("\nE:1:254:0:**\nE:1:255:300:**\n"));
}

}  // namespace

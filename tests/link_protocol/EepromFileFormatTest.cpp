// The EEPROM file: reading its lines into the tables, the runs written from them, and the file
// written from the page images.
#include <gtest/gtest.h>

#include <numeric>

#include "protocol/EepromFile.h"

namespace {

using halvex::EprParseResult;
using halvex::EprTables;
using halvex::RunEnd;

TEST(EepromFileParse, ELinesFillTheSelectedPage) {
  EprTables t;
  const std::string text =
      "//Eeprom settings\n"
      "//***PAGE 0***\n"
      "E:0:12:1:**\n"
      "E:1:200:255:channel table\n"
      "E:0:13:300:**\n"  // 300: not set
      "# anything else is ignored\n"
      "E:2:14:9:**\n";  // no such page
  ASSERT_EQ(halvex::ParseEepromFile(text, t), EprParseResult::kOk);
  EXPECT_EQ(t.page0[12], 1);
  EXPECT_EQ(t.page1[200], 255);
  EXPECT_EQ(t.comments[200], "channel table");
  EXPECT_EQ(t.comments[12], "**");
  EXPECT_EQ(t.page0[13], halvex::kEprUnset);
  EXPECT_EQ(t.page0[14], halvex::kEprUnset);
  EXPECT_EQ(t.page1[14], halvex::kEprUnset);
  EXPECT_EQ(t.comments[14], " ");
  int set = 0;
  for (int i = 0; i < 256; ++i) set += (t.page0[i] != 300) + (t.page1[i] != 300);
  EXPECT_EQ(set, 2);
}

TEST(EepromFileParse, LinesWithoutColonUseThePreviousPage) {
  EprTables t;
  // Without a known page the value goes nowhere.
  ASSERT_EQ(halvex::ParseEepromFile("E 0 5:7:x\nE:1:0:1:a\nE 1 6:8:y\n", t), EprParseResult::kOk);
  EXPECT_EQ(t.page0[5], halvex::kEprUnset);
  EXPECT_EQ(t.page1[5], halvex::kEprUnset);
  EXPECT_EQ(t.page1[6], 8);
}

TEST(EepromFileParse, ScannerCommandsInFileOrder) {
  EprTables t;
  ASSERT_EQ(halvex::ParseEepromFile("L:ZA\nL:HD:ignored\nX:no\nL:\r\n", t), EprParseResult::kOk);
  EXPECT_EQ(t.laserCommands, (std::vector<std::string>{"ZA", "HD", ""}));
}

TEST(EepromFileParse, CommentsAreCutAndWindowsLineEndsAccepted) {
  EprTables t;
  const std::string longComment(80, 'c');
  ASSERT_EQ(halvex::ParseEepromFile("E:0:1:2:" + longComment + "\r\nE:0:3:4:ab", t),
            EprParseResult::kOk);
  EXPECT_EQ(t.comments[1], std::string(49, 'c'));
  EXPECT_EQ(t.page0[1], 2);
  // The last line has no line end: nothing of it is lost.
  EXPECT_EQ(t.comments[3], "ab");
  EXPECT_EQ(t.page0[3], 4);
}

TEST(EepromFileParse, AddressOutsideTheTableOrBrokenNumberStopsTheFile) {
  EprTables a;
  EXPECT_EQ(halvex::ParseEepromFile("E:0:1:2:**\nE:0:256:1:**\n", a), EprParseResult::kBadAddress);
  EXPECT_EQ(halvex::ParseEepromFile("E:0:1000:1:**\n", a), EprParseResult::kBadAddress);
  EXPECT_EQ(halvex::ParseEepromFile("E:0:x1:1:**\n", a), EprParseResult::kBadNumber);
  EXPECT_EQ(halvex::ParseEepromFile("E:0:-1:1:**\n", a), EprParseResult::kBadNumber);
  EXPECT_EQ(halvex::ParseEepromFile("E:0:1::**\n", a), EprParseResult::kBadNumber);
  EXPECT_EQ(halvex::ParseEepromFile("E:0:1\n", a), EprParseResult::kBadNumber);
}

TEST(EepromFileParse, OverlongLinesAreReadInPieces) {
  // 198 characters at a time: the rest of a long line is read as a line of its own.
  const std::string line = "E:0:1:2:" + std::string(190, 'c') + "E:0:9:9:**\n";
  auto pieces = halvex::SplitEprLines(line);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].size(), 198u);
  EprTables t;
  ASSERT_EQ(halvex::ParseEepromFile(line, t), EprParseResult::kOk);
  EXPECT_EQ(t.page0[1], 2);
  EXPECT_EQ(t.page0[9], 9);
}

std::array<int32_t, 256> Unset() {
  std::array<int32_t, 256> t;
  t.fill(halvex::kEprUnset);
  return t;
}

TEST(EepromFileRuns, ThirtyAddressesMakeRunsOf13And13And4) {
  auto t = Unset();
  for (int i = 0; i < 30; ++i) t[i] = i + 100;
  auto runs = halvex::WalkEprRuns(t);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].start, 0);
  EXPECT_EQ(runs[0].values.size(), 13u);
  EXPECT_EQ(runs[0].end, RunEnd::kFull);
  EXPECT_EQ(runs[1].start, 13);
  EXPECT_EQ(runs[1].values.size(), 13u);
  EXPECT_EQ(runs[2].start, 26);
  EXPECT_EQ(runs[2].values, (std::vector<int16_t>{126, 127, 128, 129}));
  EXPECT_EQ(runs[2].end, RunEnd::kUnset);
}

TEST(EepromFileRuns, GapsSplitRunsAndValuesTravelAsLowBytes) {
  auto t = Unset();
  t[5] = 1;
  t[6] = 256 + 7;
  t[8] = 0;
  auto runs = halvex::WalkEprRuns(t);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].start, 5);
  EXPECT_EQ(runs[0].values, (std::vector<int16_t>{1, 7}));
  EXPECT_EQ(runs[1].start, 8);
  EXPECT_EQ(runs[1].values, (std::vector<int16_t>{0}));
}

TEST(EepromFileRuns, RunOpenAtTheEndOfThePageIsWritten) {
  auto t = Unset();
  for (int i = 250; i < 256; ++i) t[i] = i - 250;
  auto runs = halvex::WalkEprRuns(t);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].start, 250);
  EXPECT_EQ(runs[0].values.size(), 6u);
  EXPECT_EQ(runs[0].end, RunEnd::kEndOfPage);

  // A full page: 19 full runs and the last 9 bytes at 247.
  auto full = Unset();
  std::iota(full.begin(), full.end(), 0);
  runs = halvex::WalkEprRuns(full);
  ASSERT_EQ(runs.size(), 20u);
  EXPECT_EQ(runs.back().start, 247);
  EXPECT_EQ(runs.back().values.size(), 9u);
  size_t total = 0;
  for (auto& r : runs) total += r.values.size();
  EXPECT_EQ(total, 256u);
}

TEST(EepromFileWrite, FormatsBothPagesAndReadsBack) {
  std::array<uint8_t, 255> p0{}, p1{};
  for (int i = 0; i < 255; ++i) {
    p0[i] = static_cast<uint8_t>(i);
    p1[i] = static_cast<uint8_t>(255 - i);
  }
  const std::string text = halvex::FormatEepromFile(p0, p1);
  auto lines = halvex::SplitEprLines(text);
  ASSERT_EQ(lines.size(), 515u);
  EXPECT_EQ(lines[0], "//Eeprom settings\n");
  EXPECT_EQ(lines[1], "//***PAGE 0***\n");
  EXPECT_EQ(lines[2], "E:0:0:0:**\n");
  EXPECT_EQ(lines[14], "E:0:12:12:**\n");
  EXPECT_EQ(lines[258], "//***PAGE 1***\n");
  EXPECT_EQ(lines[259], "E:1:0:255:**\n");

  EprTables t;
  ASSERT_EQ(halvex::ParseEepromFile(text, t), EprParseResult::kOk);
  for (int i = 0; i < 255; ++i) {
    EXPECT_EQ(t.page0[i], i);
    EXPECT_EQ(t.page1[i], 255 - i);
  }
  // Address 255 is outside the images: the file leaves it unset on the device.
  EXPECT_EQ(t.page0[255], halvex::kEprUnset);
  EXPECT_EQ(t.page1[255], halvex::kEprUnset);
}

}  // namespace

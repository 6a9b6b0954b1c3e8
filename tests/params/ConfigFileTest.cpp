#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TestForm.h"
#include "params/ColonFields.h"
#include "params/DataLineItems.h"
#include "params/ParamsOperations.h"

namespace qelta::test {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ColonFields, SplitsWithoutTrimming) {
  ColonFields f = SplitColonFields("SET_BLOCK:10:4:255\n");
  EXPECT_EQ(f.first, "SET_BLOCK");
  EXPECT_EQ(f.second, "10");
  EXPECT_EQ(f.third, "4");
  EXPECT_EQ(f.fourth, "255");

  f = SplitColonFields("HEADING: Hello \n");
  EXPECT_EQ(f.first, "HEADING");
  EXPECT_EQ(f.second, " Hello \n");
  EXPECT_EQ(f.third, "");

  // Without a colon the line is both first and second field, line feed included.
  f = SplitColonFields("DATABLOCK_END\n");
  EXPECT_EQ(f.first, "DATABLOCK_END\n");
  EXPECT_EQ(f.second, "DATABLOCK_END\n");

  f = SplitColonFields("LASER_PARAM:1:2");  // a last line without its line feed keeps all
  EXPECT_EQ(f.third, "2");
  f = SplitColonFields("A:B:C:D:E\n");
  EXPECT_EQ(f.fourth, "D");
}

TEST(ColonFields, LineReaderPiecesAndLineEnds) {
  TempFolder folder;
  const std::string path = folder.Write("f.txt", "one\r\ntwo\n" + std::string(300, 'x') + "\nlast");
  LineReader reader(254);
  ASSERT_TRUE(reader.Open(path));
  EXPECT_EQ(*reader.Next(), "one\n");
  EXPECT_EQ(*reader.Next(), "two\n");
  EXPECT_EQ(reader.Next()->size(), 254u);
  EXPECT_EQ(*reader.Next(), std::string(46, 'x') + "\n");
  EXPECT_EQ(*reader.Next(), "last");
  EXPECT_FALSE(reader.Next());
  EXPECT_FALSE(LineReader(254).Open(folder.path() + "/missing"));
  // Whole lines, however long: a line's tail is never a line of its own.
  ASSERT_TRUE(reader.Open(path));
  EXPECT_EQ(*reader.NextLine(), "one\n");
  EXPECT_EQ(*reader.NextLine(), "two\n");
  EXPECT_EQ(*reader.NextLine(), std::string(300, 'x') + "\n");
  EXPECT_EQ(*reader.NextLine(), "last");
  EXPECT_FALSE(reader.NextLine());
}

TEST(ColonFields, LineReaderOpensOnlyRegularFilesOfASaneSize) {
  TempFolder folder;
  const std::string fifo = folder.path() + "/fifo.pcg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string big = folder.Write("big.pcg", std::string(LineReader::kMaxFileSize + 1, 'x'));
  const std::string fits = folder.Write("fits.pcg", std::string(LineReader::kMaxFileSize, 'x'));
  const struct {
    std::string path;
    const char* failure;  // empty: it opens
  } cases[] = {
      {folder.path(), "Is a directory"},
      {fifo, "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {big, "file is larger than 1 MiB"},
      {folder.path() + "/missing.pcg", "No such file or directory"},
      {fits, ""},
  };
  for (const auto& c : cases) {
    LineReader reader(254);
    EXPECT_EQ(reader.Open(c.path), c.failure[0] == '\0') << c.path;
    EXPECT_EQ(reader.FailureText(), c.failure) << c.path;
  }
}

TEST(DataLine, ItemsOfEveryKind) {
  EXPECT_EQ(ParseDataLine("1, 2, 0x1F, 300, 'AB',\n"), (Bytes{1, 2, 31, 1, 44, 65, 66}));
  // An item without its comma is dropped.
  EXPECT_EQ(ParseDataLine("1, 2, 0x1F, 300, 'AB'\n"), (Bytes{1, 2, 31, 1, 44}));
  EXPECT_EQ(ParseDataLine("0xA,"), Bytes{160});
  EXPECT_EQ(ParseDataLine("0xff,0XfG,0x,"), (Bytes{255, 240, 0}));
  EXPECT_EQ(ParseDataLine("1 2,"), Bytes{12});
  // Values above 255 as a signed 16-bit number give two bytes; 40000 is negative there.
  EXPECT_EQ(ParseDataLine("255,256,40000,70000,"), (Bytes{255, 1, 0, 64, 0x11, 0x70}));
  EXPECT_EQ(ParseDataLine("'it''s',"), (Bytes{'i', 't', 's'}));
  EXPECT_EQ(ParseDataLine("  , ,\n"), Bytes{});
}

class UploadTest : public ::testing::Test {
 protected:
  void Upload(const std::string& content) {
    t.form.configFilePath = t.folder.Write("config.pcg", content);
    UploadConfiguration(t.form);
  }
  TestForm t;
};

TEST_F(UploadTest, ParametersAndBlocksLandAtTheirAddresses) {
  Upload(
      "// example\n"
      "\n"
      "/:skipped\n"
      "LCD_CONTRAST:70\n"
      "DATABLOCK:300\n"
      "1, 2, 0x1F, 300, 'AB',\n"
      "DATABLOCK_END:\n"
      "STRING_BLOCK:400\n"
      "HELLO\n"
      "SET_BLOCK:10:4:255\n"
      "SYSTEM:5:7\n"
      "LASER_PARAM:33:44\n"
      "F1TXT:go\n"
      "F1SEND:0\n"
      "END:\n"
      "LCD_CONTRAST:90\n");
  EXPECT_EQ(t.state.eepromPage, 2);
  EXPECT_TRUE(t.state.deviceMenuEnabled.value_or(false));
  EXPECT_EQ(t.device.Bytes(2, 121, 1), Bytes{70});
  EXPECT_EQ(t.device.Bytes(2, 300, 8), (Bytes{1, 2, 31, 1, 44, 65, 66, 0}));
  EXPECT_EQ(t.device.Bytes(2, 400, 6), (Bytes{'H', 'E', 'L', 'L', 'O', 0}));
  EXPECT_EQ(t.device.Bytes(2, 9, 6), (Bytes{0, 255, 255, 255, 255, 0}));
  EXPECT_EQ(t.device.Bytes(2, 5, 1), Bytes{7});
  ASSERT_EQ(t.device.frames.size(), 1u);
  EXPECT_EQ(t.device.frames[0], (std::vector<int16_t>{2, 3, 24, 33, 44, 3}));
  EXPECT_EQ(t.device.Bytes(2, 215, 4), (Bytes{3, 'g', 'o', '\n'}));
  EXPECT_EQ(t.device.resets, 1);
  EXPECT_FALSE(t.device.connected);

  const auto names = t.rows.Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Writing LCD_CONTRAST:70\n"), 1);
  EXPECT_TRUE(t.rows.Has("Writing SYSTEM:5"));
  EXPECT_TRUE(t.rows.Has("Writing END:\n"));
  EXPECT_FALSE(t.rows.Has("Writing LCD_CONTRAST:90\n"));
  EXPECT_EQ(t.rows.rows.back().name, "File END");
  EXPECT_EQ(t.rows.rows.back().value, " ");
  for (const Row& row : t.rows.rows) {
    if (row.name == "Writing parameters...") {
      EXPECT_EQ(row.value, "300-307");
    }
    if (row.name == "Set block...") {
      EXPECT_EQ(row.value, "10-14");
    }
  }
  EXPECT_EQ(t.ui.Beeps(), 0);
}

TEST_F(UploadTest, BaseStationSettingsGoToPageZero) {
  t.device.deviceType = 9;
  Upload("CHANNEL:6\nSYSTEM:12:1\n");
  EXPECT_EQ(t.state.eepromPage, 0);
  EXPECT_EQ(t.device.Bytes(0, 13, 1), Bytes{6});
  EXPECT_EQ(t.device.Bytes(0, 12, 1), Bytes{1});
}

TEST_F(UploadTest, OversizedBlockStopsReadingButStillEndsTheUpload) {
  // 256 items, a hundred a line: a line of the file holds at most 254 characters.
  std::string block = "DATABLOCK:0\n";
  for (int i = 0; i < 256; ++i) block += (i % 100 == 99) ? "7,\n" : "7,";
  Upload("F2TXT:k\n" + block + "\nDATABLOCK_END:\nLCD_CONTRAST:20\n");
  EXPECT_TRUE(t.rows.Has("DATABLOCK > 255 bytes"));
  for (const Row& row : t.rows.rows) {
    if (row.name == "DATABLOCK > 255 bytes") {
      EXPECT_EQ(row.value, "256");
    }
  }
  EXPECT_EQ(t.device.Bytes(2, 0, 1), Bytes{0});
  EXPECT_FALSE(t.rows.Has("Writing LCD_CONTRAST:20\n"));
  EXPECT_EQ(t.device.Bytes(2, 231, 2), (Bytes{2, 'k'}));  // keys still written
  EXPECT_EQ(t.device.resets, 1);
  EXPECT_EQ(t.rows.rows.back().name, "File END");
}

TEST_F(UploadTest, BlocksUpToTheirLimitGoInFramesTheLinkCanCarry) {
  std::string block = "DATABLOCK:1000\n";
  // One item per line: lines are read in pieces of 254 characters, which would cut items.
  for (int i = 0; i < 255; ++i) block += std::to_string(i) + ",\n";
  Upload(block + "\nDATABLOCK_END:\nSET_BLOCK:2000:600:9\n");
  Bytes expected;
  for (int i = 0; i < 255; ++i) expected.push_back(static_cast<uint8_t>(i));
  EXPECT_EQ(t.device.Bytes(2, 1000, 255), expected);
  EXPECT_EQ(t.device.Bytes(2, 2000, 600), Bytes(600, 9));
  EXPECT_FALSE(t.rows.Has("WriteEepromBlock Failure"));
  EXPECT_FALSE(t.rows.Has("Set Block Failure"));
}

TEST_F(UploadTest, BlockEndWithoutColonRunsToTheEndOfTheFile) {
  Upload("DATABLOCK:50\n1,\nDATABLOCK_END\n2,\nLCD_CONTRAST:20,\nVOLUME:4\n");
  EXPECT_EQ(t.device.Bytes(2, 50, 4), (Bytes{1, 2, 20, 0}));
  EXPECT_EQ(t.device.Bytes(2, 121, 1), Bytes{0});
  EXPECT_EQ(t.device.Bytes(2, 133, 1), Bytes{0});
  EXPECT_FALSE(t.rows.Has("Writing LCD_CONTRAST:20\n"));
}

TEST_F(UploadTest, BlockOutsideTheEepromPageIsRefused) {
  t.device.deviceType = 9;
  Upload("SET_BLOCK:250:10:1\nLCD_CONTRAST:20\n");
  EXPECT_TRUE(t.rows.Has("Set Block Failure"));
  EXPECT_FALSE(t.rows.Has("Writing LCD_CONTRAST:20\n"));
  EXPECT_EQ(t.device.Bytes(0, 250, 5), Bytes(5, 0));
}

TEST_F(UploadTest, SystemValueAboveAByteStopsReading) {
  Upload("SYSTEM:5:256\nLCD_CONTRAST:20\n");
  EXPECT_TRUE(t.rows.Has("SYSTEM value too big! (>255)"));
  EXPECT_FALSE(t.rows.Has("Writing SYSTEM:5"));
  EXPECT_FALSE(t.rows.Has("Writing LCD_CONTRAST:20\n"));
  EXPECT_EQ(t.device.Bytes(2, 5, 1), Bytes{0});
  EXPECT_EQ(t.rows.rows.back().name, "File END");
}

TEST_F(UploadTest, LastLineWithoutLineFeedIsHandledOnceAndWhole) {
  Upload("LCD_CONTRAST:20\nSTRING_BLOCK:300\nAB\nSYSTEM:6:9");
  EXPECT_EQ(t.device.Bytes(2, 6, 1), Bytes{9});
  EXPECT_EQ(t.device.Bytes(2, 300, 3), (Bytes{'A', 'B', 0}));
  const auto names = t.rows.Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Writing SYSTEM:6"), 1);
}

TEST_F(UploadTest, WindowsLineEndsReadLikeLineFeeds) {
  Upload("HEADING:Hi\r\nVOLUME:4\r\n");
  EXPECT_EQ(t.device.Bytes(2, 195, 4), (Bytes{'H', 'i', '\n', ' '}));
  EXPECT_EQ(t.device.Bytes(2, 133, 1), Bytes{4});
}

TEST_F(UploadTest, DeviceFallingSilentMidFileCancelsTheUpload) {
  t.device.writesBeforeSilence = 2;
  Upload("F1TXT:a\nVOLUME:4\nSLEEP:20\nBACKLIT:1\nKEYSOUND:1\n");
  EXPECT_EQ(t.device.Bytes(2, 133, 1), Bytes{4});
  EXPECT_EQ(t.device.Bytes(2, 123, 1), Bytes{20});
  EXPECT_EQ(t.device.Bytes(2, 122, 1), Bytes{0});
  ASSERT_GE(t.rows.rows.size(), 2u);
  EXPECT_EQ(t.rows.rows[t.rows.rows.size() - 2].name, "Communication failure!");
  EXPECT_EQ(t.rows.rows.back().name, "Operation cancelled!");
  EXPECT_FALSE(t.rows.Has("Writing KEYSOUND:1\n"));
  EXPECT_FALSE(t.rows.Has("File END"));
  EXPECT_EQ(t.ui.Beeps(), 1);
  EXPECT_EQ(t.device.resets, 0);
  EXPECT_FALSE(t.device.connected);
}

TEST_F(UploadTest, FunctionKeyPassFailureStillEndsTheUpload) {
  t.device.writesBeforeSilence = 1;
  Upload("F1TXT:a\nVOLUME:4\n");
  const auto names = t.rows.Names();
  const auto failure = std::find(names.begin(), names.end(), "Communication failure!");
  ASSERT_NE(failure, names.end());
  EXPECT_EQ(*(failure + 1), "Operation cancelled!");
  EXPECT_EQ(names.back(), "File END");
  EXPECT_EQ(t.ui.Beeps(), 0);
}

TEST_F(UploadTest, FailuresBeforeTheFile) {
  t.device.connectOk = false;
  t.rows.AddOutputRow("old", "", kImageInfo);
  Upload("VOLUME:4\n");
  EXPECT_EQ(t.rows.Names(), std::vector<std::string>{" not available!"});
  EXPECT_EQ(t.ui.Beeps(), 1);
  EXPECT_FALSE(t.state.deviceMenuEnabled.value_or(false));

  t.device.connectOk = true;
  t.device.deviceType = 5;
  Upload("VOLUME:4\n");
  EXPECT_EQ(t.rows.rows.back().name, " Qelta device not found");
  EXPECT_EQ(t.ui.Beeps(), 2);

  t.device.deviceType = 8;
  t.form.configFilePath = t.folder.path() + "/missing.pcg";
  UploadConfiguration(t.form);
  EXPECT_EQ(t.rows.rows.back().name, "Cannot open file for reading!");
  EXPECT_EQ(t.rows.rows.back().value, "File: " + t.form.configFilePath);
  EXPECT_EQ(t.rows.rows.back().more, "No such file or directory");
  // A folder in the file's place ends the same way, with its reason.
  t.form.configFilePath = t.folder.path();
  UploadConfiguration(t.form);
  EXPECT_EQ(t.rows.rows.back().name, "Cannot open file for reading!");
  EXPECT_EQ(t.rows.rows.back().more, "Is a directory");
  EXPECT_EQ(t.ui.Beeps(), 2);
  EXPECT_TRUE(t.device.connected);  // left open until the next operation
  EXPECT_EQ(t.device.Bytes(2, 133, 1), Bytes{0});
}

TEST_F(UploadTest, SelectedBaseStationIsReachedOverTcp) {
  int probes = 0;
  std::vector<std::string> reports;
  t.form.listShowsBaseStations = true;
  t.form.stations.selected = [] {
    return std::optional<StationTarget>(StationTarget{"127.0.0.9", 0x0900007F, 2101});
  };
  t.form.stations.checkPresenceFails = [&](const StationTarget&) { return ++probes == 1; };
  t.form.stations.reportSilent = [&](const std::string& suffix) { reports.push_back(suffix); };
  t.device.deviceType = 9;
  Upload("VOLUME:4\n");
  EXPECT_EQ(reports, std::vector<std::string>{"(set config)"});
  EXPECT_EQ(t.device.Bytes(0, 133, 1), Bytes{0});

  t.device.tcpResult = 10061;
  UploadConfiguration(t.form);
  EXPECT_EQ(t.rows.rows.back().name, "Cannot connect to 2101 @ 127.0.0.9");
  EXPECT_EQ(t.ui.Beeps(), 1);

  t.device.tcpResult = 0;
  UploadConfiguration(t.form);
  EXPECT_EQ(t.device.Bytes(0, 133, 1), Bytes{4});
  EXPECT_FALSE(t.state.deviceMenuEnabled.value_or(false));
}

TEST_F(UploadTest, EditStartsTheEditorOnTheFile) {
  t.form.configFilePath = "/some/where/my file.pcg";
  EditConfiguration(t.form);
  ASSERT_EQ(t.ui.Processes().size(), 1u);
  EXPECT_EQ(t.ui.Processes()[0].argv, (std::vector<std::string>{"editor", t.form.configFilePath}));
}

}  // namespace
}  // namespace qelta::test

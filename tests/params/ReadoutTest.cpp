#include <gtest/gtest.h>

#include "TestForm.h"
#include "params/ParameterReadout.h"
#include "params/ParamsOperations.h"
#include "params/ReadSetup.h"

namespace qelta::test {
namespace {

TEST(ReadSetup, LinesThatMakeEntries) {
  SelectionEntry e;
  ASSERT_TRUE(ParseSelectionLine("LCD_CONTRAST:121:1:0:100\n", e));
  EXPECT_EQ(e.name, "LCD_CONTRAST");
  EXPECT_EQ(e.kind, SelectionKind::kNumeric);
  EXPECT_EQ(e.address, 121u);
  EXPECT_EQ(e.length, 1u);
  EXPECT_EQ(e.y, 100u);

  ASSERT_TRUE(ParseSelectionLine("  \tCUSTOMER_PARAM_NAME:100:TEXT:20\r\n", e));
  EXPECT_EQ(e.kind, SelectionKind::kText);
  EXPECT_EQ(e.length, 20u);
  EXPECT_EQ(e.x, 0u);
  ASSERT_TRUE(ParseSelectionLine("F1:215:FText:16", e));
  EXPECT_EQ(e.kind, SelectionKind::kFunctionKeyText);
}

TEST(ReadSetup, LinesThatAreIgnored) {
  SelectionEntry e;
  EXPECT_FALSE(ParseSelectionLine("A:1:2\n", e));           // 2 colons
  EXPECT_FALSE(ParseSelectionLine("A:1:2:3:4:5\n", e));     // 5 colons
  EXPECT_FALSE(ParseSelectionLine("F1:215:ftxt:16\n", e));  // unknown type word
  EXPECT_FALSE(ParseSelectionLine("; A:1:2:3:4\n", e));
  EXPECT_FALSE(ParseSelectionLine("   \n", e));
  EXPECT_FALSE(ParseSelectionLine("A:x:1:0:1\n", e));
  EXPECT_FALSE(ParseSelectionLine("A:1:2:3:\n", e));
  EXPECT_FALSE(ParseSelectionLine(std::string(300, 'N') + ":1:1:0:1", e));
}

TEST(ReadSetup, LoadKeepsOrderAndRefusesMoreThanAThousandEntries) {
  TempFolder folder;
  const auto result = LoadReadSetupFile(
      folder.Write("a.cfg", "; comment\nB:2:1:0:1\nbad line\nA:1:text:4\nC:1:2:3\n"));
  ASSERT_TRUE(result.opened);
  ASSERT_EQ(result.entries.size(), 2u);
  EXPECT_EQ(result.entries[0].name, "B");
  EXPECT_EQ(result.entries[1].name, "A");

  std::string many;
  for (int i = 0; i < 1001; ++i) many += "P" + std::to_string(i) + ":1:1:0:1\n";
  TestForm t;
  t.folder.Write(kReadSetupFileName, many);
  LoadReadSetup(t.form);
  ASSERT_EQ(t.ui.Messages().size(), 1u);
  EXPECT_EQ(t.ui.Messages()[0].text,
            "Alert: too many entries defined for the hand terminal read setup");
  EXPECT_TRUE(t.selection.empty());
  t.ui.QueueFileDialogResult(t.folder.path() + "/out.pcg");
  ReadParameters(t.form);
  EXPECT_EQ(t.ui.Messages().back().text, "No configuration entries have been defined.");
  EXPECT_TRUE(t.ui.FileDialogs().empty());
}

TEST(ReadoutDecode, NumbersTextsAndSkips) {
  ReadoutImage image{};
  image[121] = 55;
  image[125] = 4;
  image[141] = 0x12;
  image[142] = 0x34;
  const std::string name =
      "Ab\x01"
      "c";
  std::copy(name.begin(), name.end(), image.begin() + 100);
  ReadoutKeys keys;
  std::string out;
  EXPECT_EQ(
      DecodeSelectionEntry({"LCD_CONTRAST", SelectionKind::kNumeric, 121, 1}, image, keys, out),
      "Numeric");
  EXPECT_EQ(DecodeSelectionEntry({"Channel", SelectionKind::kNumeric, 125, 1}, image, keys, out),
            "Numeric");
  EXPECT_EQ(DecodeSelectionEntry({"PASSWORD", SelectionKind::kNumeric, 141, 2}, image, keys, out),
            "Numeric");
  EXPECT_EQ(DecodeSelectionEntry({"NAME", SelectionKind::kText, 100, 20}, image, keys, out),
            "String");
  EXPECT_EQ(DecodeSelectionEntry({"FAR", SelectionKind::kNumeric, 500, 12}, image, keys, out), "");
  EXPECT_EQ(DecodeSelectionEntry({"ZERO", SelectionKind::kNumeric, 5, 0}, image, keys, out), "");
  EXPECT_EQ(out,
            "LCD_CONTRAST:55\n// Channel addr=125, value=4\nChannel:4\nPASSWORD:4660\nNAME:Ab c\n");
  // Of more than four bytes only the last four count.
  image[10] = 9;
  image[14] = 1;
  out.clear();
  DecodeSelectionEntry({"LONG", SelectionKind::kNumeric, 10, 5}, image, keys, out);
  EXPECT_EQ(out, "LONG:1\n");
}

TEST(ReadoutDecode, FunctionKeySlots) {
  ReadoutImage image{};
  const uint8_t withLineFeed[] = {4, 'a', 'b', 'c', '\n', '\r'};
  std::copy(std::begin(withLineFeed), std::end(withLineFeed), image.begin() + 215);
  const uint8_t plain[] = {3, 'x', 'y', 'z'};
  std::copy(std::begin(plain), std::end(plain), image.begin() + 231);
  image[247] = 16;  // not a text length
  image[248] = 'q';
  ReadoutKeys keys;
  std::string out;
  DecodeSelectionEntry({"F1", SelectionKind::kFunctionKeyText, 215, 16}, image, keys, out);
  DecodeSelectionEntry({"F2", SelectionKind::kFunctionKeyText, 231, 16}, image, keys, out);
  DecodeSelectionEntry({"F3", SelectionKind::kFunctionKeyText, 247, 16}, image, keys, out);
  DecodeSelectionEntry({"F11", SelectionKind::kFunctionKeyText, 263, 16}, image, keys, out);
  // A slot at the very end of the image reads nothing beyond it.
  DecodeSelectionEntry({"F4", SelectionKind::kFunctionKeyText, 510, 1}, image, keys, out);
  EXPECT_TRUE(out.empty());
  const std::string section = FunctionKeySection(keys);
  EXPECT_NE(section.find("// Function keys:\nF1SEND:1\nF1TXT:abc\nF2SEND:0\nF2TXT:xyz\n"
                         "F3SEND:1\nF3TXT:F3\nF4SEND:0\nF4TXT:\n"),
            std::string::npos);
  EXPECT_NE(section.find("F7SEND:1\nF7TXT:F7\n"), std::string::npos);
}

class ReadParametersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t.folder.Write(kReadSetupFileName,
                   "LCD_CONTRAST:121:1:0:100\nHEADING:195:text:20\nF1:215:ftext:16\n"
                   "FAR:500:12:0:0\n");
    LoadReadSetup(t.form);
    ASSERT_EQ(t.selection.size(), 4u);
    out = t.folder.path() + "/out.pcg";
  }
  TestForm t;
  std::string out;
};

TEST_F(ReadParametersTest, WritesTheFileAndOpensIt) {
  t.device.memory[2][121] = 42;
  const std::string heading = "Stock room          ";
  std::copy(heading.begin(), heading.end(), t.device.memory[2].begin() + 195);
  t.ui.QueueFileDialogResult(out);
  ReadParameters(t.form);
  ASSERT_EQ(t.ui.FileDialogs().size(), 1u);
  EXPECT_TRUE(t.ui.FileDialogs()[0].save);
  EXPECT_EQ(t.ui.FileDialogs()[0].defaultExt, "pcg");
  EXPECT_EQ(t.folder.Read("out.pcg"),
            "LCD_CONTRAST:42\nHEADING:Stock room          \n// Function keys:\n"
            "F1SEND:0\nF1TXT:\nF2SEND:1\nF2TXT:F2\nF3SEND:1\nF3TXT:F3\nF4SEND:1\nF4TXT:F4\n"
            "F5SEND:1\nF5TXT:F5\nF6SEND:1\nF6TXT:F6\nF7SEND:1\nF7TXT:F7\nF8SEND:1\nF8TXT:F8\n"
            "F9SEND:1\nF9TXT:F9\nF10SEND:1\nF10TXT:F10\n");
  ASSERT_EQ(t.rows.rows.size(), 1u);
  EXPECT_EQ(t.rows.rows[0].name, "4 parameters read OK.");
  EXPECT_EQ(t.rows.rows[0].value, out);
  EXPECT_EQ(t.rows.rows[0].image, kImageSuccess);
  ASSERT_EQ(t.ui.Processes().size(), 1u);
  EXPECT_EQ(t.ui.Processes()[0].argv, (std::vector<std::string>{"editor", out}));
  EXPECT_EQ(t.settingsStores, 1);
  EXPECT_FALSE(t.device.connected);
}

TEST_F(ReadParametersTest, OnlyHandTerminalsAreReadOut) {
  t.device.deviceType = 9;
  t.ui.QueueFileDialogResult(out);
  ReadParameters(t.form);
  ASSERT_EQ(t.ui.Messages().size(), 1u);
  EXPECT_EQ(t.ui.Messages()[0].caption, "Error, device=9");
  EXPECT_FALSE(std::filesystem::exists(out));

  t.device.connectOk = false;
  t.ui.QueueFileDialogResult(out);
  ReadParameters(t.form);
  EXPECT_EQ(t.ui.Messages().back().text, "Cannot connect to COM port.\nPort=3.");
  EXPECT_EQ(t.rows.Names(), std::vector<std::string>{"Connecting to COM3"});

  // Cancelled file dialog, or the list showing base stations: nothing happens.
  t.device.connectOk = true;
  ReadParameters(t.form);
  t.form.listShowsBaseStations = true;
  ReadParameters(t.form);
  EXPECT_EQ(t.ui.FileDialogs().size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(ReadParametersTest, ASilentDeviceLeavesAnEmptyFile) {
  t.device.writesBeforeSilence = 0;
  t.ui.QueueFileDialogResult(out);
  ReadParameters(t.form);
  EXPECT_EQ(t.rows.Names(),
            (std::vector<std::string>{"Connecting to COM3", "Cannot get device on COM3"}));
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace qelta::test

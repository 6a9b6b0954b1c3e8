// The dry run against the device it stands for. For the example files and hostile ones, the
// writes `check` reports, laid into a blank memory of the device's layout, equal what a real
// upload through the link leaves in a simulated device of the same type, byte for byte over the
// whole memory; and the dry run posts exactly the real upload's rows (a connection that succeeds
// posts none, so there is nothing to leave out). Neither sends a write that the device would keep
// nowhere (or elsewhere): a failure row stands in its place.
#include <gtest/gtest.h>

#include <array>

#include "SimLinkForm.h"
#include "params/ConfigCheck.h"
#include "params/ParamsOperations.h"

namespace qelta::test {
namespace {

struct CheckCase {
  const char* name;
  int16_t type;
  std::string file;      // a file of data/examples (name.pcg), or the text of one
  const char* mustPost;  // a row the file has to reach ("" for none)
  bool refused;          // whether some write lies outside the device's memory (a failure row)
  const char* mustNotPost = nullptr;  // a row the file must not give
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

std::string Lines(const std::string& item, int count, int perLine) {
  std::string text;
  for (int i = 0; i < count; ++i) text += item + ((i + 1) % perLine == 0 ? "\n" : "");
  return text + "\n";
}

const std::string kOutOfRange =
    "LCD_CONTRAST:150\nLCD_CONTRAST:-5\nCHANNEL:40\nPASSWORD:10000\nPASSWORD:4660\n"
    "RESEND_TIMES:0\nWAIT_4:31\nENCRYPT_KEY:305419896\nSLEEP:999\nCHAR_MAP:300\n"
    "LSR_BEEP_TIME:7\nSYSTEM:5:7\nSYSTEM:300:9\nEND:\nVOLUME:2\n";

const std::string kLongTexts =
    "CUSTOMER_PARAM_NAME:ABCDEFGHIJKLMNOPQRSTUVWXYZ\nHEADING:Hi\n"
    "FORMLOCKTXT1:This text is far longer than twenty\nFORMLOCKTXT2:short\n"
    "BTADDR3:00809800A1B2C3\nBTADDR4:0080\nBTNAME2:\nBTNAME5:A name too long for it\n"
    "F3TXT:abcdefghijklmnopqrstuvwxyz\nF3SEND:1\nF10TXT:z\nHEADING:" +
    std::string(300, 'x') + "\n";

const std::string kTerminalPageEnd =
    "SET_BLOCK:32760:8:7\nSTRING_BLOCK:32700\nEnd of memory\nDATABLOCK:32765\n1,2,3,\n"
    "DATABLOCK_END:\nSYSTEM:32767:9\nSYSTEM:40000:1\nDATABLOCK:32766\n1,2,3,\nDATABLOCK_END:\n"
    "VOLUME:4\n";

const std::string kStationPageEnd =
    "SET_BLOCK:250:5:7\nSTRING_BLOCK:245\n0123456789\nSYSTEM:255:9\nSYSTEM:511:3\n"
    "DATABLOCK:250\n1,2,3,4,5,\nDATABLOCK_END:\nDATABLOCK:252\n1,2,3,4,\nDATABLOCK_END:\n"
    "VOLUME:4\n";

const std::string kOversizedBlock = "F2TXT:k\nDATABLOCK:0\n" + Lines("9,", 255, 100) +
                                    "DATABLOCK_END:\nDATABLOCK:0\n" + Lines("7,", 256, 100) +
                                    "DATABLOCK_END:\nVOLUME:4\n";

// A line is one line however long: a commented-out line stays a comment, a longer line is
// written nothing of (a data line takes its whole block along); up to 254 characters are fine.
const std::string kLongComment = "// " + std::string(260, 'x') + "SYSTEM:12:7\nVOLUME:4\n";
const std::string kLongLines = "HEADING:" + std::string(300, 'y') + "SYSTEM:12:7\nDATABLOCK:20\n" +
                               "1,2,\n" + Lines("3,", 130, 130) +
                               "DATABLOCK_END:\nSTRING_BLOCK:40\n" + std::string(300, 'z') +
                               "\nVOLUME:4\n";
const std::string kLine254 = "FORMLOCKTXT1:" + std::string(241, 'w') + "\nVOLUME:4\n";
const std::string kLine255 = "FORMLOCKTXT1:" + std::string(242, 'w') + "\nVOLUME:4\n";
const char* const kTooLong = "Warning! Line longer than 254 characters, the line not written";
const char* const kCutTo20 = "Warning! FORMLOCKTXT1 value too long, cut to 20 chars";

const std::string kWrappedAddress = "SYSTEM:300:7\nSYSTEM:256:1\nVOLUME:4\n";
const std::string kLaser = "LASER_PARAM:1:2\nVOLUME:4\n";

const std::string kStringBlockLast = "VOLUME:4\nSTRING_BLOCK:60\nABC\nSTRING_BLOCK:50\n";
const std::string kLastLineWithoutLineFeed = "SYSTEM:6:9\nSTRING_BLOCK:70\nXYZ";

const CheckCase kCases[] = {
    {"terminal_settings_on_8", 8, "hand_terminal_settings.pcg", "File END", false},
    {"terminal_settings_on_9", 9, "hand_terminal_settings.pcg", "File END", true},
    {"station_channel_on_8", 8, "base_station_channel.pcg", "File END", false},
    {"station_channel_on_9", 9, "base_station_channel.pcg", "File END", false},
    {"raw_blocks_on_8", 8, "raw_blocks.pcg", "Set block...", false},
    {"raw_blocks_on_9", 9, "raw_blocks.pcg", "WriteEepromBlock Failure", false},
    {"out_of_range_on_8", 8, kOutOfRange, "Warning! Password value too big", false},
    {"out_of_range_on_9", 9, kOutOfRange, "Warning! Password value too big", true},
    {"long_texts_on_8", 8, kLongTexts, "Warning! FORMLOCKTXT1 value too long, cut to 20 chars",
     false},
    {"long_texts_on_9", 9, kLongTexts, "Warning! BTADDR value length should be 12 chars", true},
    {"page_end_on_8", 8, kTerminalPageEnd, "WriteEepromBlock Failure", true},
    {"page_end_on_9", 9, kStationPageEnd, "WriteEepromBlock Failure", true},
    {"oversized_block_on_8", 8, kOversizedBlock, "DATABLOCK > 255 bytes", false},
    {"oversized_block_on_9", 9, kOversizedBlock, "DATABLOCK > 255 bytes", false},
    {"string_block_last_on_8", 8, kStringBlockLast, "WriteString to eeprom fail", false},
    {"string_block_last_on_9", 9, kStringBlockLast, "WriteString to eeprom fail", false},
    {"no_final_line_feed_on_9", 9, kLastLineWithoutLineFeed, "File END", false},
    {"long_comment_on_8", 8, kLongComment, "File END", false, "Writing SYSTEM:12"},
    {"long_comment_on_9", 9, kLongComment, "File END", false, "Writing SYSTEM:12"},
    {"long_lines_on_8", 8, kLongLines, kTooLong, false, "Writing parameters..."},
    {"long_lines_on_9", 9, kLongLines, kTooLong, false, "Writing parameters..."},
    {"line_of_254_on_8", 8, kLine254, kCutTo20, false, kTooLong},
    {"line_of_255_on_8", 8, kLine255, kTooLong, false, kCutTo20},
    {"wrapped_address_on_9", 9, kWrappedAddress, "File END", true},
    {"laser_on_8", 8, kLaser, "File END", false, "Writing laser parameters fail"},
    {"laser_on_9", 9, kLaser, "File END", false, "Writing laser parameters fail"},
};

// The device's memory as stored: EEPROM pages 0 and 1, then the extended memory.
using Memory = std::array<std::vector<uint8_t>, 3>;

Memory DeviceMemory(SimLine& line) {
  Memory memory;
  line.device().WithMemory([&](sim::DeviceMemory& m) {
    for (size_t area = 0; area < 3; ++area) {
      const auto bytes = m.Area(static_cast<sim::MemoryArea>(area));
      memory[area].assign(bytes.begin(), bytes.end());
    }
  });
  return memory;
}

std::string RowsText(const FakeRows& rows) {
  std::string text;
  for (const Row& r : rows.rows) {
    text += r.name + "|" + r.value + "|" + r.more + "|" + std::to_string(r.image) + "|" +
            std::to_string(static_cast<int>(r.kind)) + "\n";
  }
  return text;
}

class CheckAgainstDevice : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckAgainstDevice, ReportsTheBytesAndRowsOfARealUpload) {
  const CheckCase& c = GetParam();
  TempFolder folder;
  const std::string path =
      c.file.ends_with(".pcg") ? kDataDir + "examples/" + c.file : folder.Write("case.pcg", c.file);

  SimLine line(static_cast<uint8_t>(c.type));
  const Memory blank = DeviceMemory(line);
  LinkForm real;
  real.Attach(3, line);
  real.form.configFilePath = path;
  UploadConfiguration(real.form);

  LinkForm dry;
  const std::vector<RecordedWrite> writes = CheckConfiguration(dry.form, path, c.type);
  EXPECT_EQ(dry.state.eepromPage.value_or(0), 0) << "the dry run leaves the form as it was";
  EXPECT_FALSE(dry.state.deviceMenuEnabled.value_or(false));

  Memory expected = blank;
  for (const RecordedWrite& write : writes) {
    EXPECT_FALSE(write.refused) << "sent although the device keeps nothing: " << write.source;
    if (write.refused) continue;
    const auto area = static_cast<size_t>(write.page);  // a page is its own area of the device
    ASSERT_LE(write.address + write.bytes.size(), expected[area].size()) << write.source;
    std::copy(write.bytes.begin(), write.bytes.end(), expected[area].begin() + write.address);
  }
  const Memory after = DeviceMemory(line);
  for (size_t area = 0; area < 3; ++area) {
    for (size_t a = 0; a < after[area].size(); ++a) {
      ASSERT_EQ(expected[area][a], after[area][a]) << "area " << area << " address " << a;
    }
  }
  EXPECT_EQ(RowsText(dry.rows), RowsText(real.rows));
  EXPECT_TRUE(real.rows.Has(c.mustPost)) << RowsText(real.rows);
  if (c.mustNotPost) {
    EXPECT_FALSE(real.rows.Has(c.mustNotPost)) << RowsText(real.rows);
  }
  EXPECT_EQ(real.rows.Has("Write outside the device's memory"), c.refused) << RowsText(real.rows);
}

INSTANTIATE_TEST_SUITE_P(Files, CheckAgainstDevice, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qelta::test

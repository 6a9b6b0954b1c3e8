#include <gtest/gtest.h>

#include "FakeDevice.h"
#include "params/ParameterWriter.h"

namespace qelta::test {
namespace {

class ParameterWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device.connected = true;
    writer.SetTargetPage(2);
  }
  std::vector<uint8_t> Bytes(int page, int addr, int n) { return device.Bytes(page, addr, n); }

  FakeDevice device;
  FakeRows rows;
  FunctionKeyTable keys{};
  ParameterWriter writer{device, rows, keys};
};

TEST_F(ParameterWriterTest, OutOfRangeNumbersAreReplacedByTheirDefaultAfterAWarning) {
  EXPECT_TRUE(writer.WriteParameter("LCD_CONTRAST", "150\n"));
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[0].name, "Writing LCD_CONTRAST:150\n");
  EXPECT_EQ(rows.rows[0].image, kImageStep);
  EXPECT_EQ(rows.rows[1].name, "Warning! LCD contrast value too big");
  EXPECT_EQ(rows.rows[1].image, kImageFailure);
  EXPECT_EQ(rows.rows[1].kind, RowKind::Warning);  // shown as a failure, but the upload goes on
  EXPECT_EQ(rows.rows[0].kind, RowKind::Step);
  EXPECT_EQ(Bytes(2, 121, 1), std::vector<uint8_t>{50});

  // Only an upper bound: a negative value passes and goes out as its low byte.
  rows.rows.clear();
  EXPECT_TRUE(writer.WriteParameter("LCD_CONTRAST", "-5"));
  EXPECT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(Bytes(2, 121, 1), std::vector<uint8_t>{0xFB});

  // Both bounds: 0 and 31 are out of range and write the default 1.
  EXPECT_TRUE(writer.WriteParameter("RESEND_TIMES", "0"));
  EXPECT_TRUE(writer.WriteParameter("WAIT_4", "31"));
  EXPECT_EQ(Bytes(2, 127, 1), std::vector<uint8_t>{1});
  EXPECT_EQ(Bytes(2, 149, 1), std::vector<uint8_t>{1});
  EXPECT_TRUE(rows.Has("Warning! WaitTime value should be 1 - 10"));
  EXPECT_TRUE(rows.Has("Warning! WaitTime value should be 1 - 30"));
  EXPECT_TRUE(writer.WriteParameter("WAIT_7", "30"));
  EXPECT_EQ(Bytes(2, 152, 1), std::vector<uint8_t>{30});
}

TEST_F(ParameterWriterTest, ChannelGoesToTheChannelByteOfTheTargetPage) {
  EXPECT_TRUE(writer.WriteParameter("CHANNEL", "40\n"));
  ASSERT_EQ(rows.rows.size(), 3u);
  EXPECT_EQ(rows.rows[1].name, "Channel value should be 1 - 7 for 433MHz radio");
  EXPECT_EQ(rows.rows[2].name, "Channel value should be 0 - 31 for Bluetooth radio");
  ASSERT_EQ(device.writes.size(), 1u);
  EXPECT_EQ(device.writes[0].op, "block");
  EXPECT_EQ(device.writes[0].addr, 125);
  EXPECT_EQ(device.writes[0].page, 2);
  EXPECT_EQ(device.writes[0].bytes, std::vector<uint8_t>{3});

  writer.SetTargetPage(0);
  EXPECT_TRUE(writer.WriteParameter("CHANNEL", "5"));
  EXPECT_EQ(device.writes[1].addr, 13);
  EXPECT_EQ(device.writes[1].page, 0);
  EXPECT_EQ(Bytes(0, 13, 1), std::vector<uint8_t>{5});
}

TEST_F(ParameterWriterTest, MultiByteNumbers) {
  EXPECT_TRUE(writer.WriteParameter("PASSWORD", "4660"));
  EXPECT_EQ(Bytes(2, 141, 2), (std::vector<uint8_t>{0x12, 0x34}));
  EXPECT_TRUE(writer.WriteParameter("PASSWORD", "10000"));
  EXPECT_TRUE(rows.Has("Warning! Password value too big"));
  EXPECT_EQ(Bytes(2, 141, 2), (std::vector<uint8_t>{0, 0}));

  EXPECT_TRUE(writer.WriteParameter("ENCRYPT_KEY", "1193046"));  // 0x123456
  EXPECT_EQ(Bytes(2, 138, 3), (std::vector<uint8_t>{0x12, 0x34, 0x56}));
  EXPECT_TRUE(writer.WriteParameter("ENCRYPT_KEY", "305419896"));  // 0x12345678
  EXPECT_EQ(Bytes(2, 138, 3), (std::vector<uint8_t>{0x34, 0x56, 0x78}));
  // Written most significant first, one byte per write.
  ASSERT_GE(device.writes.size(), 3u);
  const size_t n = device.writes.size();
  EXPECT_EQ(device.writes[n - 3].addr, 138);
  EXPECT_EQ(device.writes[n - 1].addr, 140);
}

TEST_F(ParameterWriterTest, TextFieldsAreCutOrPaddedToTheirSlot) {
  EXPECT_TRUE(writer.WriteParameter("CUSTOMER_PARAM_NAME", "ABCDEFGHIJKLMNOPQRSTUVWXY"));
  EXPECT_EQ(device.writes.back().bytes.size(), 20u);
  EXPECT_EQ(std::string(device.writes.back().bytes.begin(), device.writes.back().bytes.end()),
            "ABCDEFGHIJKLMNOPQRST");

  EXPECT_TRUE(writer.WriteParameter("HEADING", "ABCD\n"));
  EXPECT_EQ(device.writes.back().addr, 195);
  EXPECT_EQ(std::string(device.writes.back().bytes.begin(), device.writes.back().bytes.end()),
            "ABCD\n" + std::string(15, ' '));

  // A form-lock text of 20 characters and its line feed stays inside its field, silently.
  rows.rows.clear();
  EXPECT_TRUE(writer.WriteParameter("FORMLOCKTXT1", "12345678901234567890\n"));
  EXPECT_EQ(device.writes.back().bytes.size(), 20u);
  EXPECT_EQ(rows.rows.size(), 1u);
  // Longer texts are cut at their field with a warning, so FORMLOCKTXT2 is never touched.
  EXPECT_TRUE(writer.WriteParameter("FORMLOCKTXT1", "123456789012345678901234\n"));
  EXPECT_EQ(device.writes.back().bytes.size(), 20u);
  EXPECT_EQ(rows.rows.back().image, kImageFailure);
  EXPECT_EQ(rows.rows.back().kind, RowKind::Warning);
  EXPECT_EQ(Bytes(2, 175, 1), std::vector<uint8_t>{0});
}

TEST_F(ParameterWriterTest, BluetoothAddressesAndNames) {
  EXPECT_TRUE(writer.WriteParameter("BTADDR3", "00112233445566"));
  EXPECT_TRUE(rows.Has("Warning! BTADDR value length should be 12 chars"));
  EXPECT_EQ(device.writes.back().addr, 465);
  EXPECT_EQ(std::string(device.writes.back().bytes.begin(), device.writes.back().bytes.end()),
            "001122334455");

  // Twelve characters and the line's line feed: a proper address, no warning.
  rows.rows.clear();
  EXPECT_TRUE(writer.WriteParameter("BTADDR1", "AABBCCDDEEFF\n"));
  EXPECT_EQ(rows.rows.size(), 1u);
  const std::string address = "AABBCCDDEEFF";
  EXPECT_EQ(Bytes(2, 441, 12), std::vector<uint8_t>(address.begin(), address.end()));

  // A short address is padded and never reaches the next address's slot.
  EXPECT_TRUE(writer.WriteParameter("BTADDR2", "0011\n"));
  EXPECT_EQ(device.writes.back().bytes.size(), 12u);

  EXPECT_TRUE(writer.WriteParameter("BTNAME2", ""));
  EXPECT_EQ(device.writes.back().op, "val");
  EXPECT_EQ(device.writes.back().addr, 582);
  EXPECT_EQ(device.writes.back().bytes, std::vector<uint8_t>{0});

  EXPECT_TRUE(writer.WriteParameter("BTNAME6", "Dock\n"));
  EXPECT_EQ(device.writes.back().addr, 630);
  EXPECT_EQ(std::string(device.writes.back().bytes.begin(), device.writes.back().bytes.end()),
            "Dock\n       ");
  EXPECT_TRUE(writer.WriteParameter("BTNAME1", "A-very-long-device-name\n"));
  EXPECT_EQ(device.writes.back().bytes.size(), 12u);
}

TEST_F(ParameterWriterTest, FunctionKeysAreWrittenOnPageTwoAtTheEnd) {
  writer.SetTargetPage(0);
  EXPECT_TRUE(writer.WriteParameter("F3TXT", "abc\n"));
  EXPECT_TRUE(writer.WriteParameter("F3SEND", "1\n"));
  EXPECT_TRUE(writer.WriteParameter("F5TXT", "xy"));
  EXPECT_TRUE(device.writes.empty());

  EXPECT_TRUE(writer.WriteFunctionKeys());
  EXPECT_TRUE(rows.Has("F-key: 3"));
  EXPECT_TRUE(rows.Has("F-key: 5"));
  EXPECT_FALSE(rows.Has("F-key: 1"));
  ASSERT_EQ(device.writes.size(), 4u);
  EXPECT_EQ(device.writes[0].addr, 247);
  EXPECT_EQ(device.writes[0].page, 2);
  EXPECT_EQ(device.writes[0].bytes, std::vector<uint8_t>{5});
  EXPECT_EQ(device.writes[1].addr, 248);
  EXPECT_EQ(device.writes[1].bytes, (std::vector<uint8_t>{'a', 'b', 'c', '\n', '\r'}));
  EXPECT_EQ(device.writes[3].bytes, (std::vector<uint8_t>{'x', 'y'}));

  // Texts are emptied for the next upload, send flags are kept.
  writer.ClearFunctionKeys();
  EXPECT_TRUE(keys[2].text.empty());
  EXPECT_EQ(keys[2].send, 1);
  EXPECT_TRUE(writer.WriteParameter("F3TXT", "q"));
  device.writes.clear();
  EXPECT_TRUE(writer.WriteFunctionKeys());
  EXPECT_EQ(device.writes[1].bytes, (std::vector<uint8_t>{'q', '\r'}));
}

TEST_F(ParameterWriterTest, LongFunctionKeyTextsKeepTheirCarriageReturnInsideTheSlot) {
  EXPECT_TRUE(writer.WriteParameter("F1TXT", "0123456789ABCDEFGH"));
  EXPECT_TRUE(writer.WriteParameter("F1SEND", "1"));
  EXPECT_TRUE(writer.WriteFunctionKeys());
  ASSERT_EQ(device.writes.size(), 2u);
  EXPECT_EQ(device.writes[0].bytes, std::vector<uint8_t>{15});
  EXPECT_EQ(device.writes[1].bytes.size(), 15u);
  EXPECT_EQ(device.writes[1].bytes.back(), '\r');
  EXPECT_EQ(Bytes(2, 231, 1), std::vector<uint8_t>{0});  // F2's slot untouched
}

TEST_F(ParameterWriterTest, UnknownNamesCommentsAndReset) {
  EXPECT_TRUE(writer.WriteParameter("NO_SUCH_PARAM", "1"));
  EXPECT_EQ(rows.Names(), std::vector<std::string>{"Writing NO_SUCH_PARAM:1"});
  EXPECT_TRUE(writer.WriteParameter("// a comment\n", "// a comment\n"));
  EXPECT_TRUE(writer.WriteParameter("", "x"));
  EXPECT_EQ(rows.rows.size(), 1u);
  EXPECT_TRUE(device.writes.empty());

  EXPECT_TRUE(writer.WriteParameter("RESET", "\n"));
  EXPECT_EQ(device.resets, 1);
  EXPECT_EQ(device.pausedMs, 1000);
  EXPECT_EQ(rows.rows.back().name, "Resetting...");
}

TEST_F(ParameterWriterTest, AFailedWriteEndsTheParameterAtOnce) {
  device.writesBeforeSilence = 1;
  EXPECT_FALSE(writer.WriteParameter("PASSWORD", "4660"));
  EXPECT_EQ(device.writes.size(), 1u);  // the high byte went, the low byte did not
  EXPECT_FALSE(writer.WriteParameter("HEADING", "x"));
  EXPECT_FALSE(writer.WriteParameter("CHANNEL", "2"));

  EXPECT_TRUE(writer.WriteParameter("F2TXT", "k"));
  EXPECT_FALSE(writer.WriteFunctionKeys());
}

}  // namespace
}  // namespace qelta::test

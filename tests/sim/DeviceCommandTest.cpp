#include <gtest/gtest.h>

#include "SimTestHelpers.h"
#include "device/SimDevice.h"

namespace qelta::sim {
namespace {

using test::Bytes;
using test::Frame;
using test::ReadFrame;
using test::WriteFrame;

DeviceIdentity Terminal() { return {kTypeHandTerminal, 7, 300, {15, 6, 6}}; }
DeviceIdentity BaseStation() { return {kTypeBaseStation, 3, 0xBEEF, {1, 12, 25}}; }

TEST(DeviceCommands, InformationRequestReportsIdentity) {
  SimDevice device(Terminal());
  EXPECT_EQ(device.Exchange(Frame(0x12)), (Bytes{0x12, 8, 7, 0x01, 0x2C, 15, 6, 6}));
  device.SetIdentity({42, 255, 65535, {31, 12, 99}});
  EXPECT_EQ(device.Exchange(Frame(0x12)), (Bytes{0x12, 42, 255, 0xFF, 0xFF, 31, 12, 99}));
}

TEST(DeviceCommands, BaseStationPagesAreSeparateAndReadBackWithEcho) {
  SimDevice device(BaseStation());
  EXPECT_EQ(device.Exchange(WriteFrame(13, 0, {5})), Bytes{kAck});
  EXPECT_EQ(device.Exchange(WriteFrame(13, 1, {9, 10, 11})), Bytes{kAck});
  EXPECT_EQ(device.Exchange(ReadFrame(13, 0, 1)), (Bytes{0x0F, 1, 0, 13, 5}));
  EXPECT_EQ(device.Exchange(ReadFrame(12, 1, 4)), (Bytes{0x0F, 4, 1, 12, 0xFF, 9, 10, 11}));
  EXPECT_EQ(device.Page(0)[13], 5);
  EXPECT_EQ(device.Page(1)[14], 10);
  EXPECT_EQ(device.Page(0)[14], kErasedByte);
  // Last byte of a page is reachable; one more is not, and nothing is written then.
  EXPECT_EQ(device.Exchange(WriteFrame(255, 0, {0x77})), Bytes{kAck});
  EXPECT_EQ(device.Exchange(WriteFrame(255, 0, {1, 2})), Bytes{kNak});
  EXPECT_EQ(device.Exchange(ReadFrame(250, 0, 7)), Bytes{kNak});
  EXPECT_EQ(device.Page(1)[0], kErasedByte) << "a write must not spill into the next page";
  EXPECT_EQ(device.Page(0)[255], 0x77);
  // Without extended memory only X = 0 and 1 exist.
  EXPECT_EQ(device.Exchange(ReadFrame(0x4E20, 2, 1)), Bytes{kNak});
}

TEST(DeviceCommands, HandTerminalAddressesExtendedMemoryWithSixteenBitAddresses) {
  SimDevice device(Terminal());
  // Channel of a hand terminal: extended address 125, sent as 00 7D.
  EXPECT_EQ(device.Exchange(WriteFrame(125, 2, {7})), Bytes{kAck});
  EXPECT_EQ(device.Exchange(ReadFrame(125, 2, 1)), (Bytes{0x0F, 1, 0x00, 0x7D, 7}));
  EXPECT_EQ(device.Exchange(WriteFrame(20000, 2, {0xAB, 0xCD})), Bytes{kAck});
  EXPECT_EQ(device.Exchange(ReadFrame(20000, 2, 2)), (Bytes{0x0F, 2, 0x4E, 0x20, 0xAB, 0xCD}));
  EXPECT_EQ(device.Extended()[20000], 0xAB);
  EXPECT_EQ(device.Extended()[20001], 0xCD);
  // Top of the memory, and past it.
  EXPECT_EQ(device.Exchange(WriteFrame(32767, 2, {1})), Bytes{kAck});
  EXPECT_EQ(device.Exchange(WriteFrame(32767, 2, {1, 2})), Bytes{kNak});
  EXPECT_EQ(device.Exchange(ReadFrame(0x8000, 2, 1)), Bytes{kNak});
  // Pages 0 and 1 are the same bytes on the wire as extended addresses 0..511.
  EXPECT_EQ(device.Exchange(WriteFrame(15, 0, {0x01, 0x2C})), Bytes{kAck});
  EXPECT_EQ(device.Extended()[15], 0x01);
  EXPECT_EQ(device.Exchange(WriteFrame(3, 1, {0x44})), Bytes{kAck});
  EXPECT_EQ(device.Extended()[256 + 3], 0x44);
  EXPECT_EQ(device.Page(1)[3], 0x44);
}

TEST(DeviceCommands, MemoryFramesWithWrongCountsAreRefusedUntouched) {
  SimDevice device(BaseStation());
  // Count says 3, only 2 data bytes.
  EXPECT_EQ(device.Exchange(Frame(0x10, {3, 0, 10, 1, 2})), Bytes{kNak});
  EXPECT_EQ(device.Exchange(Frame(0x0F, {1, 0})), Bytes{kNak});
  EXPECT_EQ(device.Page(0)[10], kErasedByte);
  // A 249-byte write, the longest the link sends, and a 255-byte block read.
  Bytes data(249);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(device.Exchange(WriteFrame(0, 1, data)), Bytes{kAck});
  Bytes answer = device.Exchange(ReadFrame(0, 1, 255));
  ASSERT_EQ(answer.size(), 4u + 255u);
  EXPECT_EQ(Bytes(answer.begin() + 4, answer.begin() + 4 + 249), data);
  // A zero-length read is just the echo.
  EXPECT_EQ(device.Exchange(ReadFrame(7, 0, 0)), (Bytes{0x0F, 0, 0, 7}));
}

TEST(DeviceCommands, TestCommandsAnswerWithTheirSingleByte) {
  SimDevice device(Terminal());
  DeviceResponses r;
  r.key_code = 0x35;
  r.charger_state = 0x02;
  r.eeprom_test_result = 0x44;
  r.brom_result = 0x66;
  r.rf_echoed = 9;
  device.SetResponses(r);
  EXPECT_EQ(device.Exchange(Frame(0x1D)), Bytes{0x35});
  EXPECT_EQ(device.Exchange(Frame(0x21)), Bytes{0x02});
  EXPECT_EQ(device.Exchange(Frame(0x22)), Bytes{0x44});
  EXPECT_EQ(device.Exchange(Frame(0x06)), Bytes{0x66});
  EXPECT_EQ(device.Exchange(Frame(0x1E, {12})), Bytes{9});
  r.rf_echoed = -1;
  device.SetResponses(r);
  EXPECT_EQ(device.Exchange(Frame(0x1E, {12})), Bytes{12});
  // SetTxPower comes back as the level taken.
  EXPECT_EQ(device.Exchange(Frame(0x1A, {3})), Bytes{3});
  EXPECT_EQ(device.Activity().tx_power, 3);
}

TEST(DeviceCommands, CommandsWithoutAnswerAreRecorded) {
  SimDevice device(Terminal());
  for (std::uint8_t code = 1; code <= 5; ++code) EXPECT_TRUE(device.Exchange(Frame(code)).empty());
  EXPECT_TRUE(device.Exchange(Frame(0x1B, {1})).empty());
  EXPECT_TRUE(device.Exchange(Frame(0x1C, {200})).empty());
  EXPECT_TRUE(device.Exchange(Frame(0x23, {1})).empty());
  EXPECT_TRUE(device.Exchange(Frame(0x24)).empty());
  EXPECT_TRUE(device.Exchange(Frame(0x16)).empty());
  EXPECT_TRUE(device.Exchange(Frame(0x7E)).empty());
  DeviceActivity a = device.Activity();
  EXPECT_EQ(a.brom_commands, (Bytes{1, 2, 3, 4, 5}));
  EXPECT_TRUE(a.backlight);
  EXPECT_EQ(a.beeps, Bytes{200});
  EXPECT_TRUE(a.charger_led);
  EXPECT_TRUE(a.sleep_requested);
  EXPECT_EQ(a.resets, 1u);
  EXPECT_EQ(a.unknown_frames, 1u);
  EXPECT_EQ(a.frames_received, 11u);
  EXPECT_TRUE(device.Exchange(Frame(0x1B, {0})).empty());
  EXPECT_FALSE(device.Activity().backlight);
}

TEST(DeviceCommands, ScannerCommandsAndPrpTableShareCode11) {
  SimDevice device(Terminal());
  // WriteLaser "ZA": 02 04 11 02 5A 41 03.
  EXPECT_EQ(device.Exchange(Bytes{0x02, 0x04, 0x11, 0x02, 0x5A, 0x41, 0x03}), Bytes{kAck});
  EXPECT_EQ(device.Exchange(Frame(0x11, {5, 'H', 'D'})), Bytes{kNak}) << "length mismatch";
  EXPECT_EQ(device.Activity().laser_commands, std::vector<std::string>{"ZA"});
  DeviceResponses r;
  for (int i = 0; i < 10; ++i) {
    r.prp_low[i] = static_cast<std::uint8_t>(2 * i);
    r.prp_high[i] = static_cast<std::uint8_t>(2 * i + 1);
  }
  device.SetResponses(r);
  Bytes expected;
  for (int i = 0; i < 20; ++i) expected.push_back(static_cast<std::uint8_t>(i));
  EXPECT_EQ(device.Exchange(Frame(0x11)), expected);
}

TEST(DeviceCommands, ScanLaserAndRssiAnswers) {
  SimDevice device(Terminal());
  DeviceResponses r;
  r.scanned_text = "ABC-123";
  r.rssi = 0xC8;
  device.SetResponses(r);
  EXPECT_EQ(device.Exchange(Frame(0x1F)), (Bytes{'A', 'B', 'C', '-', '1', '2', '3'}));
  Bytes rssi = device.Exchange(Frame(0x20, {50}));
  ASSERT_EQ(rssi.size(), 51u);
  EXPECT_EQ(rssi[0], 0x20);
  EXPECT_EQ(rssi[40], 0xC8);
  EXPECT_NE(rssi[39], 0xC8);
  EXPECT_NE(rssi[41], 0xC8);
}

TEST(DeviceCommands, BerRunSendsFramedRecordsOneAfterTheOther) {
  SimDevice device(Terminal());
  DeviceResponses r;
  r.ber_payload_length = 4;
  r.ber_record_interval_ms = 30;
  device.SetResponses(r);
  const auto t0 = SimDevice::Clock::now();
  device.Receive(Frame(0x1B, {0x21, 3}), t0);
  auto answers = device.TakeAnswers();
  ASSERT_EQ(answers.size(), 3u);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const Bytes& rec = answers[i].bytes;
    ASSERT_EQ(rec.size(), 4u + 9u) << i;
    EXPECT_EQ(rec[0], 0x01);
    EXPECT_EQ(rec[1], 4);
    EXPECT_EQ(rec[2], 0x21);
    EXPECT_EQ(rec[3], i + 1);
    EXPECT_EQ(rec[4], 3);
    unsigned sum = 0;
    for (int k = 7; k < 11; ++k) sum += rec[k];
    EXPECT_EQ(rec[11] * 256u + rec[12], sum);
    if (i > 0) {
      EXPECT_GE(answers[i].due - answers[i - 1].due, std::chrono::milliseconds(30));
    }
  }
  EXPECT_EQ(device.Activity().ber_records_sent, 3u);
}

TEST(DeviceCommands, SleepTestAnswersAfterWakingAndIgnoresTheLineMeanwhile) {
  SimDevice device(Terminal());
  const auto t0 = SimDevice::Clock::now();
  device.Receive(Frame(0x19, {2}), t0);
  auto answers = device.TakeAnswers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].bytes, Bytes{kAck});
  EXPECT_GE(answers[0].due - t0, std::chrono::seconds(2));
  // The link's retry arrives while the device sleeps: not heard.
  device.Receive(Frame(0x19, {2}), t0 + std::chrono::milliseconds(1500));
  EXPECT_TRUE(device.TakeAnswers().empty());
  device.Receive(Frame(0x12), t0 + std::chrono::milliseconds(2100));
  EXPECT_EQ(device.TakeAnswers().size(), 1u);
}

// A boot loader that echoes bytes and leaves boot mode on 0xEE.
class EchoBoot : public BootModeHandler {
 public:
  bool OnFrame(const CommandFrame& frame, BootControl& device, Bytes& answer) override {
    if (frame.code != 0x13) return false;
    device.SetBootMode(true);
    answer.push_back('F');
    return true;
  }
  void OnBootBytes(std::span<const std::uint8_t> bytes, BootControl& device,
                   Bytes& answer) override {
    for (auto b : bytes) {
      if (b == 0xEE) device.SetBootMode(false);
      answer.push_back(b);
    }
  }
  void OnModeChange(bool on) override { changes.push_back(on); }
  std::vector<bool> changes;
};

TEST(DeviceCommands, BootModeSendsRawBytesToTheBootHandler) {
  SimDevice device(Terminal());
  // Without a boot loader the boot request is an unknown frame.
  EXPECT_TRUE(device.Exchange(Frame(0x13)).empty());
  auto boot = std::make_unique<EchoBoot>();
  EchoBoot* handler = boot.get();
  device.SetBootHandler(std::move(boot));
  EXPECT_EQ(device.Exchange(Frame(0x13)), Bytes{'F'});
  EXPECT_TRUE(device.BootMode());
  // Raw bytes, frame-looking or not, go to the loader.
  EXPECT_EQ(device.Exchange(Frame(0x12)), Frame(0x12));
  EXPECT_EQ(device.Exchange(Bytes{0xEE}), Bytes{0xEE});
  EXPECT_FALSE(device.BootMode());
  EXPECT_EQ(device.Exchange(Frame(0x12)).size(), 8u);
  // Put into boot mode by hand (a device switched on with its boot line set) and out again.
  device.SetBootMode(true);
  EXPECT_EQ(device.Exchange(Bytes{0x00, 0x55}), (Bytes{0x00, 0x55}));
  device.SetBootMode(false);
  device.SetBootMode(true);
  device.Exchange(Bytes{0x11});
  EXPECT_EQ(handler->changes, (std::vector<bool>{true, false, true, false, true}));
}

}  // namespace
}  // namespace qelta::sim

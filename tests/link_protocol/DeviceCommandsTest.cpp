// Single-command operations on a scripted line: frame bytes, results, waits and the
// device-information cache.
#include "LinkFixture.h"

namespace linktest {
namespace {

using Clock = std::chrono::steady_clock;

TEST(DeviceCommandsNoLink, FailureResultsAndNothingSent) {
  Line line;
  CHalvexCtrl link;
  link.SetComPortPath(1, "inproc:p");
  EXPECT_EQ(link.GetDevice(), -1);
  EXPECT_EQ(link.GetID(), "Connection Error");
  EXPECT_EQ(link.GetManfDate(), "Connection Error");
  EXPECT_EQ(link.ReadInfo(), -1);
  EXPECT_EQ(link.ScanLaser(), "Connect Error");
  EXPECT_EQ(link.WriteLaser("ZA"), -1);
  EXPECT_EQ(link.GetRSSI(), -1);
  EXPECT_EQ(link.SleepTest(1), -1);
  EXPECT_EQ(link.BromTest(1, 0), -1);
  EXPECT_EQ(link.ReadEepStr(0, 0, 4), "NoComm");
  EXPECT_EQ(link.SetChannel(3), -1);
  EXPECT_EQ(link.GetChannel(), -1);
  EXPECT_FALSE(link.SetID(1));
  EXPECT_FALSE(link.GetPRPData());
  EXPECT_TRUE(link.SendBER(1, 2));
  link.Reset();
  link.BackLight(true);
  EXPECT_TRUE(line.Sent().empty());
}

using DeviceCommands = LinkTest;

TEST_F(DeviceCommands, FramesWithoutWaiting) {
  link.Reset();
  link.DisplayTest('A');
  link.BackLight(true);
  link.BackLight(false);
  link.BeepTest(0x103);
  link.ChargerLed(1);
  link.SetSleep();
  EXPECT_EQ(link.BromTest(3, 99), 0);
  EXPECT_EQ(link.BromTest(7, 0), 0);  // sends nothing
  EXPECT_TRUE(link.SendBER(1, 2));
  EXPECT_EQ(WaitSent(9),
            (std::vector<Bytes>{B({2, 1, 0x16, 3}), B({2, 2, 0x1A, 0x41, 3}), B({2, 2, 0x1B, 1, 3}),
                                B({2, 2, 0x1B, 0, 3}), B({2, 2, 0x1C, 3, 3}), B({2, 2, 0x23, 1, 3}),
                                B({2, 1, 0x24, 3}), B({2, 1, 3, 3}), B({2, 3, 0x1B, 1, 2, 3})}));
}

TEST_F(DeviceCommands, FramesThatWaitReturnReplyByteZero) {
  AnswerAll(B({0x5A, 0x01}));
  EXPECT_EQ(link.SetTxPower(3), 0x5A);
  EXPECT_EQ(link.SleepTest(5), 0x5A);
  EXPECT_EQ(link.ScanKeyboard(), 0x5A);
  EXPECT_EQ(link.RFTest(9), 0x5A);
  EXPECT_EQ(link.ChargerTest(), 0x5A);
  EXPECT_EQ(link.EEPROMTest(), 0x5A);
  EXPECT_EQ(link.BromTest(6, 0), 0x5A);
  EXPECT_EQ(link.WriteLaser("ZA"), 0x5A);
  EXPECT_EQ(link.ScanLaser(), "Z\x01");
  EXPECT_EQ(
      line().SentBytes(),
      (std::vector<Bytes>{B({2, 2, 0x1A, 3, 3}), B({2, 2, 0x19, 5, 3}), B({2, 1, 0x1D, 3}),
                          B({2, 2, 0x1E, 9, 3}), B({2, 1, 0x21, 3}), B({2, 1, 0x22, 3}),
                          B({2, 1, 6, 3}), B({2, 4, 0x11, 2, 0x5A, 0x41, 3}), B({2, 1, 0x1F, 3})}));
}

TEST_F(DeviceCommands, OutOfRangeArgumentsSendNothing) {
  AnswerAll(B({1}));
  EXPECT_EQ(link.SleepTest(33), -1);  // its wait would not fit 16 bits
  EXPECT_EQ(link.SleepTest(-1), -1);
  EXPECT_EQ(link.WriteLaser(std::string(16, 'x')), -1);  // longer than the 20-element frame
  EXPECT_EQ(link.WriteLaser(std::string(15, 'x')), 1);
  EXPECT_EQ(line().Sent().size(), 1u);
}

TEST_F(DeviceCommands, SilentDeviceGetDeviceGivesUpAfterTwoTransmissions) {
  const auto t0 = Clock::now();
  EXPECT_EQ(link.GetDevice(), -2);
  const long ms = MsSince(t0);
  EXPECT_GE(ms, 2900);
  EXPECT_LT(ms, 4500);
  auto sent = line().Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].bytes, B({2, 1, 0x12, 3}));
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(sent[1].at - sent[0].at).count(),
            1400);
  EXPECT_EQ(link.GetSWVersion(), "Connection Error");
}

TEST_F(DeviceCommands, WriteLaserRetryWaitDependsOnTheExactCommand) {
  for (auto [cmd, minMs, maxMs] :
       {std::tuple{"HD", 3400L, 4300L}, std::tuple{"hd", 2400L, 3300L}}) {
    const auto t0 = Clock::now();
    EXPECT_EQ(link.WriteLaser(cmd), 0);  // nothing came: the cleared reply buffer
    const long ms = MsSince(t0);
    EXPECT_GE(ms, minMs) << cmd;
    EXPECT_LT(ms, maxMs) << cmd;
  }
  EXPECT_EQ(line().Sent().size(), 4u);
}

TEST_F(DeviceCommands, ReadInfoFillsTheCacheUntilTheNextConnect) {
  AnswerAll(B({0x12, 0x05, 0x07, 0x01, 0x2C, 0x0F, 0x06, 0x06}));
  EXPECT_EQ(link.ReadInfo(), 1);
  line().SetScript({});
  line().ClearSent();
  EXPECT_EQ(link.GetDevice(), 5);
  EXPECT_EQ(link.GetSWVersion(), "7");
  EXPECT_EQ(link.GetID(), "300");
  EXPECT_EQ(link.GetManfDate(), "15.6.6");
  EXPECT_TRUE(line().Sent().empty());

  // A new connection forgets the device; an answer without the code leaves the cache empty.
  ASSERT_TRUE(link.Connect(1, 19200));
  AnswerAll(B({0x13, 0x09, 1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(link.ReadInfo(), -1);
  EXPECT_EQ(link.GetDevice(), 9);  // asked the device: byte 1 of its answer
  EXPECT_EQ(line().Sent().size(), 2u);

  AnswerAll(B({0x12, 0x12, 0x08, 0x02, 0x00, 0x2A, 0x01, 0x02, 0x1A}));
  EXPECT_EQ(link.ReadInfo(), 1);
  EXPECT_EQ(link.GetDevice(), 8);
  EXPECT_EQ(link.GetID(), "42");
  EXPECT_EQ(link.GetManfDate(), "1.2.26");
}

TEST_F(DeviceCommands, RssiFromPosition40AndCaptureOffAfterwards) {
  Bytes answer(51);
  for (size_t i = 0; i < answer.size(); ++i) answer[i] = static_cast<uint8_t>(i + 100);
  AnswerAll(answer);
  EXPECT_EQ(link.GetRSSI(), 140);
  EXPECT_EQ(line().SentBytes().back(), B({2, 2, 0x20, 0x32, 3}));
  AnswerAll(Bytes(40, 7));  // too short to carry the strength
  EXPECT_EQ(link.GetRSSI(), -1);
  // Capture is off again: a plain answer lands in the reply buffer.
  AnswerAll(B({0x33}));
  EXPECT_EQ(link.SetTxPower(1), 0x33);
}

}  // namespace
}  // namespace linktest

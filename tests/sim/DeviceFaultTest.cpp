#include <gtest/gtest.h>

#include "SimTestHelpers.h"
#include "device/BootRomLoader.h"
#include "device/SimDevice.h"

namespace qelta::sim {
namespace {

using std::chrono::milliseconds;
using test::Bytes;
using test::Frame;

const Bytes kInfo{0x12, 9, 1, 0, 0, 1, 1, 26};

TEST(DeviceFaults, SilentDeviceHearsButNeverAnswers) {
  SimDevice device;
  BootRomLoader::InstallInto(device);
  device.SetFaults({.silent = true});
  EXPECT_TRUE(device.Exchange(Frame(0x12)).empty());
  EXPECT_TRUE(device.Exchange(test::WriteFrame(1, 0, {5})).empty());
  EXPECT_EQ(device.Activity().frames_received, 2u);
  // A silent device carries out nothing either.
  EXPECT_EQ(device.Page(0)[1], kErasedByte);
  // Nor does its boot loader answer.
  device.SetBootMode(true);
  EXPECT_TRUE(device.Exchange(Bytes{0x00}).empty());
  device.SetBootMode(false);
  device.SetFaults({});
  EXPECT_EQ(device.Exchange(Frame(0x12)), kInfo);
}

TEST(DeviceFaults, SecondTransmissionOnlyAnswersTheRetryOfTheSameFrame) {
  SimDevice device;
  device.SetFaults({.answer_second_only = true});
  EXPECT_TRUE(device.Exchange(Frame(0x12)).empty());
  EXPECT_EQ(device.Exchange(Frame(0x12)), kInfo);
  // Next request starts over.
  EXPECT_TRUE(device.Exchange(Frame(0x12)).empty());
  // A different frame is a new first transmission, and the first write is not carried out.
  EXPECT_TRUE(device.Exchange(test::WriteFrame(1, 0, {5})).empty());
  EXPECT_EQ(device.Page(0)[1], kErasedByte);
  EXPECT_EQ(device.Exchange(test::WriteFrame(1, 0, {5})), Bytes{kAck});
  EXPECT_EQ(device.Page(0)[1], 5);
}

TEST(DeviceFaults, KeptOldBytesAnswerWritesButChangeNothing) {
  SimDevice device;
  device.SetFaults({.keep_old_bytes = true});
  EXPECT_EQ(device.Exchange(test::WriteFrame(1, 0, {5})), Bytes{kAck});
  EXPECT_EQ(device.Page(0)[1], kErasedByte);
  // Everything else is answered as ever.
  EXPECT_EQ(device.Exchange(Frame(0x12)), kInfo);
  device.SetFaults({});
  EXPECT_EQ(device.Exchange(test::WriteFrame(1, 0, {5})), Bytes{kAck});
  EXPECT_EQ(device.Page(0)[1], 5);
}

TEST(DeviceFaults, CorruptAndGarbageChangeWhatGoesOut) {
  SimDevice device;
  device.SetFaults({.corrupt_answers = true});
  Bytes inverted;
  for (auto b : kInfo) inverted.push_back(static_cast<std::uint8_t>(~b));
  EXPECT_EQ(device.Exchange(Frame(0x12)), inverted);
  device.SetFaults({.garbage_before_answer = 5});
  Bytes noisy = device.Exchange(Frame(0x12));
  ASSERT_EQ(noisy.size(), 5u + kInfo.size());
  EXPECT_EQ(Bytes(noisy.begin() + 5, noisy.end()), kInfo);
}

TEST(DeviceFaults, ShortAnswersLoseTheirEndAndLateEndsFollowTheRest) {
  SimDevice device;
  device.SetFaults({.cut_answer_bytes = 3});
  EXPECT_EQ(device.Exchange(Frame(0x12)), Bytes(kInfo.begin(), kInfo.end() - 3));
  device.SetFaults({.cut_answer_bytes = 100});
  EXPECT_EQ(device.Exchange(Frame(0x12)), Bytes{kInfo[0]}) << "the first byte always goes out";

  device.SetFaults({.late_last_byte = milliseconds(250)});
  const auto t0 = SimDevice::Clock::now();
  device.Receive(Frame(0x12), t0);
  device.Receive(test::WriteFrame(1, 0, {5}), t0);  // a one-byte answer stays whole
  const auto answers = device.TakeAnswers();
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0].bytes, Bytes(kInfo.begin(), kInfo.end() - 1));
  EXPECT_EQ(answers[1].bytes, Bytes{kInfo.back()});
  EXPECT_EQ(answers[1].due - answers[0].due, milliseconds(250));
  EXPECT_EQ(answers[2].bytes, Bytes{kAck});
  EXPECT_GE(answers[2].due, answers[1].due) << "answers still leave in order";
}

TEST(DeviceFaults, LineDropsAfterTheConfiguredFrameAndStaysDead) {
  SimDevice device;
  device.SetFaults({.drop_after_frames = 2});
  EXPECT_EQ(device.Exchange(Frame(0x12)), kInfo);
  EXPECT_FALSE(device.LineDropped());
  EXPECT_EQ(device.Exchange(Frame(0x12)), kInfo) << "the last frame is still answered";
  EXPECT_TRUE(device.LineDropped());
  EXPECT_TRUE(device.Exchange(Frame(0x12)).empty());
  EXPECT_EQ(device.Activity().frames_received, 2u);
}

TEST(DeviceFaults, AnswerTimeIsOwnDelayPlusExtraDelayInOrder) {
  SimDevice device;
  device.SetTiming({.answer_delay = milliseconds(5)});
  device.SetFaults({.extra_delay = milliseconds(700)});
  const auto t0 = SimDevice::Clock::now();
  device.Receive(Frame(0x12), t0);
  device.Receive(Frame(0x21), t0 + milliseconds(1));
  auto answers = device.TakeAnswers();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].due - t0, milliseconds(705));
  EXPECT_EQ(answers[1].due - t0, milliseconds(706));
  // A later, shorter delay never overtakes an earlier answer.
  device.SetFaults({});
  device.Receive(Frame(0x12), t0 + milliseconds(2));
  answers = device.TakeAnswers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_GE(answers[0].due - t0, milliseconds(706));
}

TEST(DeviceFaults, StalledPartialFrameIsDroppedByTick) {
  SimDevice device;
  const auto t0 = SimDevice::Clock::now();
  device.Receive(Bytes{0x02, 0x40, 0x02, 0x01, 0x12, 0x03}, t0);
  EXPECT_TRUE(device.TakeAnswers().empty());
  ASSERT_TRUE(device.NextTick().has_value());
  device.Tick(*device.NextTick());
  auto answers = device.TakeAnswers();
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].bytes, kInfo);
  EXPECT_FALSE(device.NextTick().has_value());
}

}  // namespace
}  // namespace qelta::sim

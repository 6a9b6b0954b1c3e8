// Frames out, replies in: the two waits, length 0, the reply buffer, DataFromCOM, batches and the
// capture ring.
#include <gtest/gtest.h>

#include <mutex>
#include <numeric>
#include <thread>

#include "InProcessPort.h"
#include "LinkTestUtil.h"
#include "ScriptedDevice.h"
#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"

using namespace halvex::test;
using Frame = std::vector<uint8_t>;

namespace {

struct RecordingSink : HalvexEvents {
  void DataFromCOM(int16_t* data, int16_t length) override {
    std::lock_guard lock(m);
    chunks.emplace_back(data, data + length);
  }
  std::vector<std::vector<int16_t>> Chunks() {
    std::lock_guard lock(m);
    return chunks;
  }
  std::mutex m;
  std::vector<std::vector<int16_t>> chunks;
};

Frame Bytes(int n, int first = 0) {
  Frame f(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) f[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
  return f;
}

// A baud rate other than 19200 keeps the handshake out of these tests.
class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    pair_ = PortPair::Create();
    ports_.Add("x", pair_);
    ctrl_.SetComPortPath(1, "inproc:x");
    ctrl_.SetEventSink(&sink_);
  }
  void TearDown() override { ctrl_.SetEventSink(nullptr); }
  void Open() { ASSERT_TRUE(ctrl_.Connect(1, 9600)); }

  PortFactoryScope ports_;
  std::shared_ptr<PortPair> pair_;
  RecordingSink sink_;
  CHalvexCtrl ctrl_;
};

}  // namespace

TEST_F(Exchange, AnAnsweredFrameFillsTheReplyBufferAndFiresDataFromCOM) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(0, {0x06, 0x80, 0xFF, 0x00}));
  Open();
  // Each element carries its byte in the low 8 bits.
  int16_t frame[] = {0x0102, 0x01, 0x7F12, -253};
  Stopwatch sw;
  ASSERT_TRUE(ctrl_.SendAndWait(frame, 4, 1000));
  EXPECT_LT(sw.Ms(), 1000);
  ASSERT_TRUE(device.WaitFrames(1, 1000));
  EXPECT_EQ(device.Frames()[0].bytes, (Frame{0x02, 0x01, 0x12, 0x03}));

  auto& d = ctrl_.impl();
  EXPECT_EQ(d.replyLen, 4);
  EXPECT_EQ(d.reply[1], 0x80);
  EXPECT_EQ(d.reply[2], 0xFF);
  const auto chunks = sink_.Chunks();
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], (std::vector<int16_t>{0x06, 0x80, 0xFF, 0x00}));  // 0..255, never negative
}

TEST_F(Exchange, ADeviceAnsweringOnlyTheSecondTransmissionIsHeardAfterTheFirstWait) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(1, {0x55}));
  Open();
  int16_t frame[] = {2, 1, 0x12, 3};
  Stopwatch sw;
  ASSERT_TRUE(ctrl_.SendAndWait(frame, 4, 1000));
  EXPECT_GE(sw.Ms(), 1450);
  EXPECT_LT(sw.Ms(), 2400);
  const auto frames = device.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].bytes, frames[1].bytes);
  EXPECT_GE(frames[1].at - frames[0].at, std::chrono::milliseconds(1400));
  EXPECT_EQ(ctrl_.impl().reply[0], 0x55);
}

TEST_F(Exchange, ASilentDeviceCostsTheFirstWaitPlusTheRetryWait) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::Silent());
  Open();
  int16_t frame[] = {2, 1, 0x12, 3};
  Stopwatch sw;
  EXPECT_FALSE(ctrl_.SendAndWait(frame, 4, 300));
  EXPECT_GE(sw.Ms(), 1780);
  EXPECT_LT(sw.Ms(), 2600);
  EXPECT_TRUE(device.WaitFrames(2, 500));
  EXPECT_EQ(device.Frames().size(), 2u);
}

TEST_F(Exchange, WaitTime32700StandsForFiftyFiveSeconds) {
  // The device answers the second transmission 34 s late: beyond 32.7 s, within 55 s.
  std::atomic<bool> answerLate{false};
  ScriptedDevice device(pair_->Peer(), [&](const Frame&, int index) -> std::optional<Frame> {
    if (index == 1) answerLate = true;
    return std::nullopt;
  });
  Open();
  std::thread late([&] {
    while (!answerLate) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(34000));
    pair_->Peer().Write({0xBB});
  });
  int16_t frame[] = {0x55};
  Stopwatch sw;
  EXPECT_TRUE(ctrl_.SendAndWait(frame, 1, 32700));
  EXPECT_GE(sw.Ms(), 35000);
  late.join();
  EXPECT_EQ(ctrl_.impl().reply[0], 0xBB);
}

TEST_F(Exchange, LengthZeroSendsNothingAndWaitsForAnyIncomingByte) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::Echo());
  Open();
  std::thread talker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pair_->Peer().Write({0xBB});
  });
  int16_t unused[] = {0x11};
  Stopwatch sw;
  EXPECT_TRUE(ctrl_.SendAndWait(unused, 0, 1000));
  EXPECT_LT(sw.Ms(), 1200);
  talker.join();
  EXPECT_EQ(ctrl_.impl().reply[0], 0xBB);
  EXPECT_TRUE(pair_->Writes().empty());

  sw = Stopwatch();
  EXPECT_FALSE(ctrl_.SendAndWait(unused, 0, 100));
  EXPECT_GE(sw.Ms(), 1550);
  EXPECT_TRUE(pair_->Writes().empty());
}

TEST_F(Exchange, SendDataSendsWithoutWaitingAndFramesAreNeverLost) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::Silent());
  Open();
  ctrl_.impl().reply[0] = 0x77;
  int16_t a[] = {1, 2, 3};
  int16_t b[] = {4, 5};
  Stopwatch sw;
  ctrl_.SendData(a, 3);
  ctrl_.SendData(b, 2);
  EXPECT_LT(sw.Ms(), 400);
  EXPECT_EQ(ctrl_.impl().reply[0], 0);  // cleared for the answer
  ASSERT_TRUE(device.WaitFrames(1, 1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  Frame all;
  for (const auto& f : device.Frames()) all.insert(all.end(), f.bytes.begin(), f.bytes.end());
  EXPECT_EQ(all, (Frame{1, 2, 3, 4, 5}));
}

TEST_F(Exchange, AFrameLongerThanTheTransmitBufferIsCutAt512) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::Silent());
  Open();
  std::vector<int16_t> big(700);
  std::iota(big.begin(), big.end(), 0);
  ctrl_.SendData(big.data(), static_cast<int16_t>(big.size()));
  ASSERT_TRUE(device.WaitFrames(1, 1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  size_t total = 0;
  for (const auto& f : device.Frames()) total += f.bytes.size();
  EXPECT_EQ(total, 512u);
  int16_t negative[] = {1};
  ctrl_.SendData(negative, -5);  // nothing, and no harm
}

TEST_F(Exchange, BatchesCloseAfterAQuietGapAndNeverExceed512Bytes) {
  Open();
  // 700 bytes at once: a full batch of 512, then the remaining 188.
  pair_->Peer().Write(Bytes(700));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  auto chunks = sink_.Chunks();
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].size(), 512u);
  EXPECT_EQ(chunks[1].size(), 188u);
  EXPECT_EQ(chunks[1][0], 512 % 256);
  EXPECT_EQ(ctrl_.impl().replyLen, 188);

  // Bytes a long pause apart arrive as separate chunks.
  pair_->Peer().Write({1, 2});
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  pair_->Peer().Write({3});
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  chunks = sink_.Chunks();
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[2], (std::vector<int16_t>{1, 2}));
  EXPECT_EQ(chunks[3], (std::vector<int16_t>{3}));
}

TEST_F(Exchange, CapturedBytesGoToTheRingNotToTheReplyOrTheHost) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(0, Bytes(30, 100)));
  Open();
  auto& d = ctrl_.impl();
  d.SetCapture(true);
  int16_t frame[] = {2, 1, 0x40, 3};
  ASSERT_TRUE(ctrl_.SendAndWait(frame, 4, 500));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  d.SetCapture(false);
  EXPECT_TRUE(sink_.Chunks().empty());
  EXPECT_EQ(d.reply[0], 0);

  int16_t out[12];
  std::fill(std::begin(out), std::end(out), -1);
  ASSERT_TRUE(ctrl_.GetCOMbuf(out, 10));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(out[i], 100 + i);
  EXPECT_EQ(out[10], -1);                  // nothing beyond size
  EXPECT_FALSE(ctrl_.GetCOMbuf(out, 10));  // the other 20 were discarded
}

// Until the receive worker has put every byte written so far into the capture ring: its write
// position is where the bytes end (a busy machine may take its time).
bool RingWrittenUpTo(const CHalvexCtrl::Impl& d, int32_t position) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    {
      std::lock_guard lock(d.ringMutex);
      if (d.ringWrite == position) return true;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

TEST_F(Exchange, TheRingWrapsAndKeepsTheNewestThousandBytesInOrder) {
  Open();
  auto& d = ctrl_.impl();
  d.SetCapture(true);
  pair_->Peer().Write(Bytes(700, 0));
  ASSERT_TRUE(RingWrittenUpTo(d, 700));
  std::vector<int16_t> out(1000, -1);
  ASSERT_EQ(d.TakeCaptured(1000, out.data()), 700);

  // The next capture starts where the last one ended and wraps at 1000.
  pair_->Peer().Write(Bytes(500, 7));
  ASSERT_TRUE(RingWrittenUpTo(d, 200));
  ASSERT_EQ(d.TakeCaptured(1000, out.data()), 500);
  for (int i = 0; i < 500; ++i) ASSERT_EQ(out[static_cast<size_t>(i)], (7 + i) % 256) << i;

  // More than 1000 bytes: the oldest are overwritten, the rest comes out oldest first. Each part
  // ends at a write position the ring passes only once: 600, 0 (after 1000) and 400.
  const int32_t partEnds[] = {600, 0, 400};
  for (int part = 0; part < 3; ++part) {
    Frame f(400);
    for (int i = 0; i < 400; ++i)
      f[static_cast<size_t>(i)] = static_cast<uint8_t>((part * 400 + i) / 5);
    pair_->Peer().Write(f);
    ASSERT_TRUE(RingWrittenUpTo(d, partEnds[part])) << part;
  }
  std::vector<int16_t> all(1200, -1);
  ASSERT_EQ(d.TakeCaptured(1200, all.data()), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(all[static_cast<size_t>(i)], (200 + i) / 5) << i;
  EXPECT_EQ(all[1000], -1);
  d.SetCapture(false);
}

TEST_F(Exchange, InBerModeBatchesGoToTheBerParserSoSendAndWaitSeesNoReply) {
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(0, {0x41, 0x42}));
  Open();
  auto& d = ctrl_.impl();
  d.proto.berMode = true;
  int16_t frame[] = {2, 1, 0x12, 3};
  EXPECT_FALSE(ctrl_.SendAndWait(frame, 4, 100));
  d.proto.berMode = false;
  EXPECT_EQ(device.Frames().size(), 2u);
  EXPECT_TRUE(sink_.Chunks().empty());

  EXPECT_TRUE(ctrl_.SendAndWait(frame, 4, 100));
  EXPECT_EQ(sink_.Chunks().size(), 1u);
}

// The RTS/CTS handshake of the Send worker: at 19200 baud on a line with modem lines only, and
// never while the boot flag is set.
#include <gtest/gtest.h>

#include <thread>

#include "InProcessPort.h"
#include "LinkTestUtil.h"
#include "ScriptedDevice.h"
#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"

using namespace halvex::test;
using Clock = std::chrono::steady_clock;

namespace {

long long MsBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

class Handshake : public ::testing::Test {
 protected:
  void Use(std::shared_ptr<PortPair> pair) {
    pair_ = std::move(pair);
    ports_.Add("h", pair_);
    ctrl_.SetComPortPath(1, "inproc:h");
  }
  // RTS changes after the open's own raise-and-drop.
  std::vector<PortPair::RtsChange> RtsAfterOpen() const {
    auto all = pair_->RtsHistory();
    return std::vector<PortPair::RtsChange>(all.begin() + 2, all.end());
  }
  PortFactoryScope ports_;
  std::shared_ptr<PortPair> pair_;
  CHalvexCtrl ctrl_;
};

int16_t kFrame[] = {2, 1, 0x12, 3};

}  // namespace

TEST_F(Handshake, At19200TheFrameFollowsRtsAnsweredByCtsAndAFixedPause) {
  Use(PortPair::Create(true));
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(0, {0x08}), /*mirrorRts=*/true);
  ASSERT_TRUE(ctrl_.Connect(1, 19200));
  const auto start = Clock::now();
  ASSERT_TRUE(ctrl_.SendAndWait(kFrame, 4, 1000));

  const auto rts = RtsAfterOpen();
  ASSERT_EQ(rts.size(), 2u);
  ASSERT_TRUE(rts[0].on);
  ASSERT_FALSE(rts[1].on);
  // The device's CTS ended the RTS phase well before its 600 ms limit.
  EXPECT_LT(MsBetween(rts[0].at, rts[1].at), 400);
  const auto writes = pair_->Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_GE(MsBetween(rts[1].at, writes[0].at), 45);  // the 50 ms before the write
  EXPECT_GE(MsBetween(start, rts[0].at), 0);
}

TEST_F(Handshake, WithoutCtsTheLinkHoldsRtsForSixHundredMillisecondsAndSendsAnyway) {
  Use(PortPair::Create(true));
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(0, {0x08}));
  ASSERT_TRUE(ctrl_.Connect(1, 19200));
  ASSERT_TRUE(ctrl_.SendAndWait(kFrame, 4, 1000));
  const auto rts = RtsAfterOpen();
  ASSERT_EQ(rts.size(), 2u);
  EXPECT_GE(MsBetween(rts[0].at, rts[1].at), 580);
  EXPECT_LT(MsBetween(rts[0].at, rts[1].at), 1000);
  ASSERT_EQ(pair_->Writes().size(), 1u);
}

TEST_F(Handshake, ACtsLeftUpDelaysTheRequestByTenLooks) {
  Use(PortPair::Create(true));
  pair_->Peer().SetHostCts(true);
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(0, {0x08}));
  ASSERT_TRUE(ctrl_.Connect(1, 19200));
  const auto start = Clock::now();
  ASSERT_TRUE(ctrl_.SendAndWait(kFrame, 4, 1000));
  const auto rts = RtsAfterOpen();
  ASSERT_GE(rts.size(), 1u);
  EXPECT_GE(MsBetween(start, rts[0].at), 180);
  EXPECT_LT(MsBetween(start, rts[0].at), 600);
}

TEST_F(Handshake, OtherBaudRatesTheBootFlagAndLinesWithoutModemLinesSkipIt) {
  Use(PortPair::Create(true));
  ScriptedDevice device(pair_->Peer(), ScriptedDevice::AnswerFrom(0, {0x08}), true);

  ASSERT_TRUE(ctrl_.Connect(1, 4800));
  ASSERT_TRUE(ctrl_.SendAndWait(kFrame, 4, 1000));
  EXPECT_TRUE(RtsAfterOpen().empty());

  ASSERT_TRUE(ctrl_.Connect(1, 19200));
  const size_t before = pair_->RtsHistory().size();
  ctrl_.impl().SetBootFlag(true);
  EXPECT_TRUE(ctrl_.impl().BootFlag());
  ASSERT_TRUE(ctrl_.SendAndWait(kFrame, 4, 1000));
  EXPECT_EQ(pair_->RtsHistory().size(), before);
  ctrl_.impl().SetBootFlag(false);
  ASSERT_TRUE(ctrl_.SendAndWait(kFrame, 4, 1000));
  EXPECT_EQ(pair_->RtsHistory().size(), before + 2);  // back on
}

TEST(HandshakeNoModemLines, ALineWithoutModemLinesSendsAtOnceAt19200) {
  PortFactoryScope ports;
  auto pair = PortPair::Create(false);
  ports.Add("n", pair);
  ScriptedDevice device(pair->Peer(), ScriptedDevice::AnswerFrom(0, {0x08}));
  CHalvexCtrl ctrl;
  ctrl.SetComPortPath(1, "inproc:n");
  ASSERT_TRUE(ctrl.Connect(1, 19200));
  Stopwatch sw;
  ASSERT_TRUE(ctrl.SendAndWait(kFrame, 4, 1000));
  EXPECT_LT(sw.Ms(), 500);  // neither the 600 ms RTS phase nor the 50 ms pause
  EXPECT_TRUE(pair->RtsHistory().empty());
}

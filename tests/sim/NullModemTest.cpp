#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <thread>

#include "SimTestHelpers.h"
#include "transport/DeviceRunner.h"
#include "transport/NullModem.h"

namespace qelta::sim {
namespace {

using test::Bytes;

bool Readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms) == 1 && (p.revents & POLLIN);
}

Bytes ReadAll(NullModemEnd& end) {
  Bytes out(1024);
  long n = end.Read(out.data(), out.size());
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return out;
}

TEST(NullModem, CarriesDataBothWaysAndSignalsItOnThePollDescriptor) {
  auto cable = NullModem::Create();
  NullModemEnd& a = cable->HostEnd();
  NullModemEnd& b = cable->DeviceEnd();
  EXPECT_FALSE(Readable(a.PollFd(), 0));
  EXPECT_FALSE(Readable(b.PollFd(), 0));
  ASSERT_TRUE(a.Write(Bytes{1, 2, 3}));
  EXPECT_TRUE(Readable(b.PollFd(), 0));
  EXPECT_FALSE(Readable(a.PollFd(), 0)) << "the writer's own end stays quiet";
  EXPECT_EQ(b.Available(), 3u);
  std::uint8_t two[2];
  EXPECT_EQ(b.Read(two, 2), 2);
  EXPECT_TRUE(Readable(b.PollFd(), 0)) << "one byte still waits";
  EXPECT_EQ(ReadAll(b), Bytes{3});
  EXPECT_FALSE(Readable(b.PollFd(), 0));
  EXPECT_EQ(ReadAll(b), Bytes{});

  ASSERT_TRUE(b.Write(Bytes{9, 8}));
  EXPECT_TRUE(Readable(a.PollFd(), 0));
  a.FlushInput();
  EXPECT_FALSE(Readable(a.PollFd(), 0));
  EXPECT_EQ(a.Available(), 0u);
}

TEST(NullModem, RtsOfOneEndIsCtsOfTheOtherAndChangesWakeThePeer) {
  auto cable = NullModem::Create();
  NullModemEnd& a = cable->HostEnd();
  NullModemEnd& b = cable->DeviceEnd();
  EXPECT_FALSE(b.Cts());
  a.SetRts(true);
  EXPECT_TRUE(a.Rts());
  EXPECT_TRUE(b.Cts());
  EXPECT_FALSE(a.Cts());
  EXPECT_TRUE(Readable(b.PollFd(), 0));
  EXPECT_TRUE(b.TakeLineChange());
  EXPECT_FALSE(b.TakeLineChange());
  EXPECT_FALSE(Readable(b.PollFd(), 0));
  a.SetRts(true);  // no change, no wake-up
  EXPECT_FALSE(Readable(b.PollFd(), 0));
  b.SetDtr(true);
  EXPECT_TRUE(a.Dsr());
  EXPECT_TRUE(a.TakeLineChange());
  a.SetRts(false);
  EXPECT_FALSE(b.Cts());
  EXPECT_TRUE(b.TakeLineChange());
}

TEST(NullModem, HangUpEndsTheLineForBothEnds) {
  auto cable = NullModem::Create();
  NullModemEnd& a = cable->HostEnd();
  NullModemEnd& b = cable->DeviceEnd();
  b.SetRts(true);
  a.TakeLineChange();
  ASSERT_TRUE(b.Write(Bytes{0x42}));
  b.HangUp();
  EXPECT_TRUE(a.PeerHungUp());
  EXPECT_FALSE(a.Cts()) << "a dead line drops its signals";
  EXPECT_TRUE(Readable(a.PollFd(), 0));
  EXPECT_EQ(ReadAll(a), Bytes{0x42}) << "what was sent before still arrives";
  std::uint8_t x;
  EXPECT_EQ(a.Read(&x, 1), -1);
  EXPECT_FALSE(a.Write(Bytes{1}));
  EXPECT_TRUE(Readable(a.PollFd(), 0)) << "a hang-up keeps the descriptor readable";
}

TEST(NullModem, DeviceRaisesCtsWhileTheLinkHoldsRtsAndAnswersFrames) {
  auto cable = NullModem::Create();
  NullModemEnd& host = cable->HostEnd();
  SimDevice device;
  DeviceRunner runner(device, NullModem::DeviceEndpoint(cable));
  runner.Start();
  EXPECT_TRUE(host.Dsr()) << "a device that is on shows DSR";
  host.TakeLineChange();

  host.SetRts(true);
  ASSERT_TRUE(Readable(host.PollFd(), 2000));
  EXPECT_TRUE(host.TakeLineChange());
  EXPECT_TRUE(host.Cts());
  host.SetRts(false);
  ASSERT_TRUE(Readable(host.PollFd(), 2000));
  EXPECT_TRUE(host.TakeLineChange());
  EXPECT_FALSE(host.Cts());

  host.Write(test::Frame(0x12));
  ASSERT_TRUE(Readable(host.PollFd(), 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ReadAll(host), (Bytes{0x12, 9, 1, 0, 0, 1, 1, 26}));
  runner.Stop();
  EXPECT_FALSE(runner.Running());
}

TEST(NullModem, DroppedLineHangsUpAfterTheLastAnswer) {
  auto cable = NullModem::Create();
  NullModemEnd& host = cable->HostEnd();
  SimDevice device;
  device.SetFaults({.drop_after_frames = 1});
  DeviceRunner runner(device, NullModem::DeviceEndpoint(cable));
  runner.Start();
  host.Write(test::Frame(0x21));
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!host.PeerHungUp() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(host.PeerHungUp());
  EXPECT_EQ(ReadAll(host), Bytes{0x01});
}

}  // namespace
}  // namespace qelta::sim

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "SimTestHelpers.h"
#include "device/TrafficLog.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"
#include "transport/TcpTunnelEndpoint.h"

namespace qelta::sim {
namespace {

using test::Bytes;
using test::Frame;
using Clock = std::chrono::steady_clock;

const Bytes kInfo{0x12, 9, 1, 0, 0, 1, 1, 26};

// Reads until `want` bytes came, the line goes quiet for `quiet_ms`, or it closes.
Bytes ReadAnswer(int fd, std::size_t want, int quiet_ms = 1000) {
  Bytes out;
  while (out.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, quiet_ms) != 1) break;
    std::uint8_t buf[512];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

void WriteAll(int fd, const Bytes& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

int OpenSlave(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) {
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

TEST(PtyLine, AnswersFramesSplitOverWritesAndSurvivesReopening) {
  SimDevice device;
  auto pty = std::make_unique<PtyEndpoint>();
  ASSERT_TRUE(pty->Ok()) << pty->Error();
  const std::string path = pty->SlavePath();
  DeviceRunner runner(device, std::move(pty));
  runner.Start();

  int fd = OpenSlave(path);
  ASSERT_GE(fd, 0);
  const Bytes info = Frame(0x12);
  WriteAll(fd, Bytes(info.begin(), info.begin() + 2));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  WriteAll(fd, Bytes(info.begin() + 2, info.end()));
  EXPECT_EQ(ReadAnswer(fd, kInfo.size()), kInfo);
  close(fd);

  // The link closes and reopens its port between operations.
  fd = OpenSlave(path);
  ASSERT_GE(fd, 0);
  WriteAll(fd, test::WriteFrame(13, 0, {3}));
  EXPECT_EQ(ReadAnswer(fd, 1), Bytes{kAck});
  EXPECT_EQ(device.Page(0)[13], 3);
  close(fd);
}

TEST(PtyLine, PacingAtTheBaudRateStretchesALongAnswer) {
  SimDevice device;
  device.SetTiming({.answer_delay = std::chrono::milliseconds(0), .baud = 1200});
  auto pty = std::make_unique<PtyEndpoint>();
  ASSERT_TRUE(pty->Ok()) << pty->Error();
  const std::string path = pty->SlavePath();
  DeviceRunner runner(device, std::move(pty));
  runner.Start();
  int fd = OpenSlave(path);
  ASSERT_GE(fd, 0);
  const auto t0 = Clock::now();
  WriteAll(fd, Frame(0x20, {50}));
  Bytes answer = ReadAnswer(fd, 51);
  const auto took = Clock::now() - t0;
  EXPECT_EQ(answer.size(), 51u);
  // 51 bytes of 10 bits at 1200 baud take 425 ms on a real line.
  EXPECT_GE(took, std::chrono::milliseconds(400));
  close(fd);
}

TEST(PtyLine, TrafficLogHoldsEveryFrameBothWays) {
  const std::string log_path = ::testing::TempDir() + "/simlog-" + std::to_string(getpid());
  std::filesystem::remove(log_path);
  TrafficLog log;
  ASSERT_TRUE(log.Open(log_path));
  SimDevice device;
  device.SetTrafficObserver(log.Observer());
  auto pty = std::make_unique<PtyEndpoint>();
  ASSERT_TRUE(pty->Ok()) << pty->Error();
  const std::string path = pty->SlavePath();
  {
    DeviceRunner runner(device, std::move(pty));
    runner.Start();
    int fd = OpenSlave(path);
    ASSERT_GE(fd, 0);
    WriteAll(fd, Bytes{0x77, 0x02, 0x01, 0x12, 0x03});
    EXPECT_EQ(ReadAnswer(fd, kInfo.size()), kInfo);
    close(fd);
  }
  device.SetTrafficObserver(nullptr);
  std::ifstream in(log_path);
  std::string rx, tx;
  std::getline(in, rx);
  std::getline(in, tx);
  EXPECT_NE(rx.find(" RX 02 01 12 03"), std::string::npos) << rx;
  // Past the line's time stamp (whose digits may well read 77).
  const std::size_t bytes = std::min(rx.find(" RX "), rx.size());
  EXPECT_EQ(rx.find("77", bytes), std::string::npos) << "garbage is not a frame: " << rx;
  EXPECT_NE(tx.find(" TX 12 09 01 00 00 01 01 1A"), std::string::npos) << tx;
  std::filesystem::remove(log_path);
}

TEST(PtyLine, DroppedLineHangsUpThePty) {
  SimDevice device;
  device.SetFaults({.drop_after_frames = 1});
  auto pty = std::make_unique<PtyEndpoint>();
  ASSERT_TRUE(pty->Ok()) << pty->Error();
  const std::string path = pty->SlavePath();
  DeviceRunner runner(device, std::move(pty));
  runner.Start();
  int fd = OpenSlave(path);
  ASSERT_GE(fd, 0);
  WriteAll(fd, Frame(0x12));
  EXPECT_EQ(ReadAnswer(fd, kInfo.size()), kInfo);
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  EXPECT_TRUE(p.revents & (POLLHUP | POLLERR)) << p.revents;
  close(fd);
}

int Connect(std::uint16_t port, const char* address = "127.0.0.1") {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  inet_pton(AF_INET, address, &sa.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

TEST(TcpTunnel, RefusesNonLoopbackAddresses) {
  EXPECT_FALSE(TcpTunnelEndpoint("10.1.2.3", 2101).Ok());
  EXPECT_FALSE(TcpTunnelEndpoint("0.0.0.0", 2101).Ok());
  EXPECT_FALSE(TcpTunnelEndpoint("localhost", 2101).Ok());
}

TEST(TcpTunnel, ServesOneClientAtATimeOnItsOwnAddress) {
  SimDevice device;
  auto tunnel = std::make_unique<TcpTunnelEndpoint>("127.0.0.5", 2101);
  ASSERT_TRUE(tunnel->Ok()) << tunnel->Error();
  EXPECT_EQ(tunnel->Port(), 2101);
  DeviceRunner runner(device, std::move(tunnel));
  runner.Start();

  EXPECT_LT(Connect(2101, "127.0.0.6"), 0) << "bound to its own address only";
  int first = Connect(2101, "127.0.0.5");
  ASSERT_GE(first, 0);
  // A half frame from the first client must not mix with what the next one sends.
  WriteAll(first, Bytes{0x02, 0x05, 0x10});
  int second = Connect(2101, "127.0.0.5");
  ASSERT_GE(second, 0);
  WriteAll(second, Frame(0x12));
  EXPECT_TRUE(ReadAnswer(second, 1, 300).empty()) << "the second client waits its turn";
  close(first);
  // Its frame was sent before it was served and waits in the socket.
  EXPECT_EQ(ReadAnswer(second, kInfo.size()), kInfo);
  WriteAll(second, test::WriteFrame(13, 0, {6}));
  EXPECT_EQ(ReadAnswer(second, 1), Bytes{kAck});
  EXPECT_EQ(device.Page(0)[13], 6);
  close(second);
}

TEST(TcpTunnel, DroppedLineClosesTheClientAndRefusesNewOnes) {
  SimDevice device;
  device.SetFaults({.drop_after_frames = 2});
  auto tunnel = std::make_unique<TcpTunnelEndpoint>("127.0.0.1", 0);
  ASSERT_TRUE(tunnel->Ok()) << tunnel->Error();
  const std::uint16_t port = tunnel->Port();
  ASSERT_NE(port, 0);
  DeviceRunner runner(device, std::move(tunnel));
  runner.Start();
  int fd = Connect(port);
  ASSERT_GE(fd, 0);
  WriteAll(fd, Frame(0x12));
  EXPECT_EQ(ReadAnswer(fd, kInfo.size()), kInfo);
  WriteAll(fd, Frame(0x12));
  // The second answer still comes, then the connection ends.
  EXPECT_EQ(ReadAnswer(fd, kInfo.size() + 1), kInfo);
  close(fd);
  EXPECT_LT(Connect(port), 0);
}

}  // namespace
}  // namespace qelta::sim

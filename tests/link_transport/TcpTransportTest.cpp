// The TCP link against a listener on 127.0.0.1: connect codes, exchanges, the ring, progress.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "InProcessPort.h"
#include "halvex/ControlFace.h"
#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"

namespace {

constexpr uint32_t kLoopback = 0x0100007F;  // 127.0.0.1 as its bytes lie in memory

// A one-connection device behind TCP: answers each received frame through `answer`.
class TcpDevice {
 public:
  using Answer = std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)>;
  explicit TcpDevice(Answer answer) : answer_(std::move(answer)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 4);
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~TcpDevice() {
    stop_ = true;
    ::shutdown(listen_, SHUT_RDWR);
    thread_.join();
    ::close(listen_);
  }
  uint16_t Port() const { return port_; }
  std::vector<std::vector<uint8_t>> Received() {
    std::lock_guard lock(m_);
    return received_;
  }

 private:
  void Run() {
    while (!stop_) {
      const int c = ::accept(listen_, nullptr, nullptr);
      if (c < 0) return;
      uint8_t buf[1024];
      for (;;) {
        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        std::vector<uint8_t> frame(buf, buf + n);
        {
          std::lock_guard lock(m_);
          received_.push_back(frame);
        }
        auto reply = answer_(frame);
        if (!reply.empty()) ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      ::close(c);
    }
  }
  Answer answer_;
  int listen_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex m_;
  std::vector<std::vector<uint8_t>> received_;
  std::thread thread_;
};

// A port on 127.0.0.1 that nobody listens on.
uint16_t ClosedPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

struct CountingSink : HalvexEvents {
  void DataFromCOM(int16_t*, int16_t) override { ++calls; }
  std::atomic<int> calls{0};
};

}  // namespace

TEST(TcpLink, ARefusedConnectionAnswersTwoAndLeavesNoSocket) {
  CHalvexCtrl ctrl;
  EXPECT_EQ(ctrl.ConnectTCP(kLoopback, ClosedPort()), 2u);
  EXPECT_FALSE(ctrl.impl().TcpOpen());
  EXPECT_FALSE(ctrl.impl().HasLink());
  int16_t frame[] = {2, 1, 0x12, 3};
  EXPECT_FALSE(ctrl.SendAndWait(frame, 4, 100));
}

TEST(TcpLink, NoSocketToBeHadAnswersOne) {
  CHalvexCtrl ctrl;
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  // Use up the descriptor table up to a lowered limit, so that socket() fails.
  const int probe = ::dup(0);
  ASSERT_GE(probe, 0);
  ::close(probe);
  rlimit low = old;
  low.rlim_cur = static_cast<rlim_t>(probe);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  const uint32_t code = ctrl.ConnectTCP(kLoopback, 2101);
  ::setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(code, 1u);
  EXPECT_FALSE(ctrl.impl().TcpOpen());
}

TEST(TcpLink, SendAndWaitFillsReplyAndRingAndFiresNoDataFromCOM) {
  TcpDevice device([](const std::vector<uint8_t>&) {
    return std::vector<uint8_t>{0x09, 0x80, 0xFF};
  });
  CHalvexCtrl ctrl;
  CountingSink sink;
  ctrl.SetEventSink(&sink);
  std::mutex m;
  std::vector<std::string> lines;
  ctrl.Face().SetChangeCallback([&] {
    const std::string line = ctrl.Face().ProgressLine();
    std::lock_guard lock(m);
    if (lines.empty() || lines.back() != line) lines.push_back(line);
  });

  ASSERT_EQ(ctrl.ConnectTCP(kLoopback, device.Port()), 0u);
  EXPECT_TRUE(ctrl.impl().TcpOpen());
  int16_t frame[] = {0x102, 1, 0x12, 3};
  ASSERT_TRUE(ctrl.SendAndWait(frame, 4, 1000));
  ctrl.Face().SetChangeCallback(nullptr);

  auto& d = ctrl.impl();
  EXPECT_EQ(d.reply[0], 0x09);
  EXPECT_EQ(d.reply[2], 0xFF);
  EXPECT_EQ(d.replyLen, 3);
  int16_t ring[3];
  EXPECT_EQ(d.TakeCaptured(3, ring), 3);
  EXPECT_EQ(ring[1], 0x80);
  EXPECT_EQ(sink.calls.load(), 0);
  ASSERT_FALSE(device.Received().empty());
  EXPECT_EQ(device.Received()[0], (std::vector<uint8_t>{2, 1, 0x12, 3}));

  const std::string receiving =
      "Receiving from " + std::to_string(device.Port()) + " @ 127.0.0.1...";
  EXPECT_NE(std::find(lines.begin(), lines.end(), "TCP send..."), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), receiving), lines.end());
  EXPECT_EQ(ctrl.Face().ProgressLine(), "");
  ctrl.SetEventSink(nullptr);
}

TEST(TcpLink, ASilentPeerMakesSendAndWaitFalseAfterItsWaitTime) {
  TcpDevice device([](const std::vector<uint8_t>&) { return std::vector<uint8_t>{}; });
  CHalvexCtrl ctrl;
  ASSERT_EQ(ctrl.ConnectTCP(kLoopback, device.Port()), 0u);
  int16_t frame[] = {2, 1, 0x12, 3};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(ctrl.SendAndWait(frame, 4, 300));
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count();
  // One receive with the call's own timeout: no second transmission over TCP.
  EXPECT_GE(ms, 280);
  EXPECT_LT(ms, 1200);
  EXPECT_EQ(device.Received().size(), 1u);
  EXPECT_EQ(ctrl.Face().ProgressLine(), "");
}

TEST(TcpLink, TcpCarriesEverythingWhileOpenEvenBesideASerialPort) {
  halvex::test::PortFactoryScope ports;
  auto pair = halvex::test::PortPair::Create();
  ports.Add("t", pair);
  TcpDevice device([](const std::vector<uint8_t>& f) { return f; });
  CHalvexCtrl ctrl;
  ctrl.SetComPortPath(1, "inproc:t");
  ASSERT_TRUE(ctrl.Connect(1, 9600));
  ASSERT_EQ(ctrl.ConnectTCP(kLoopback, device.Port()), 0u);  // the serial port stays open
  EXPECT_TRUE(ctrl.impl().SerialOpen());

  int16_t a[] = {7, 8};
  ctrl.SendData(a, 2);
  for (int i = 0; i < 100 && device.Received().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(device.Received().size(), 1u);
  EXPECT_EQ(device.Received()[0], (std::vector<uint8_t>{7, 8}));
  EXPECT_TRUE(ctrl.SendAndWait(a, 2, 500));
  EXPECT_TRUE(pair->Writes().empty());

  // Connect always passes through closed: the socket goes too.
  EXPECT_TRUE(ctrl.Connect(0, 19200));
  EXPECT_FALSE(ctrl.impl().TcpOpen());
  EXPECT_FALSE(ctrl.impl().SerialOpen());

  ASSERT_EQ(ctrl.ConnectTCP(kLoopback, device.Port()), 0u);
  ctrl.Disconnect();
  EXPECT_FALSE(ctrl.impl().HasLink());
}

// Channel, ID and base-station mode against a simulated device, per memory layout.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>
#include <thread>

#include "LinkFixture.h"
#include "SimLine.h"

namespace linktest {
namespace {

class DeviceSettings : public LinkTest {
 protected:
  void Use(DevicePtr device) {
    line().SetScript(DeviceScript(device));
    line().ClearSent();
    ASSERT_TRUE(link.Connect(1, 19200));  // forgets the previous device's information
  }
};

TEST_F(DeviceSettings, ChannelAtTheLocationOfEachLayout) {
  struct Case {
    uint8_t type;
    int page;
    size_t addr;
  };
  for (const Case c : {Case{8, 2, 125}, Case{5, 0, 19}, Case{9, 0, 13}}) {
    auto device = MakeDevice(c.type);
    Use(device);
    EXPECT_EQ(link.SetChannel(7), 7) << int(c.type);
    const auto mem = c.page == 2 ? device->Extended() : device->Page(c.page);
    EXPECT_EQ(mem[c.addr], 7) << int(c.type);
    EXPECT_EQ(link.GetChannel(), 7);
  }
  EXPECT_EQ(line().SentBytes()[1], B({2, 5, 0x10, 1, 0, 0x0D, 7, 3}));  // type 9: page 0, 13
}

TEST_F(DeviceSettings, ChannelOnASilentDevice) {
  EXPECT_EQ(link.SetChannel(3), -1);
  EXPECT_EQ(link.GetChannel(), -2);  // GetDevice's code for a silent serial device
}

TEST_F(DeviceSettings, IdAndDateAtTheLocationOfEachLayout) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const Bytes today = B({local.tm_mday, local.tm_mon + 1, local.tm_year - 100});
  struct Case {
    uint8_t type;
    size_t idAt, dateAt;
  };
  for (const Case c : {Case{5, 1, 65}, Case{9, 15, 17}, Case{8, 15, 17}}) {
    auto device = MakeDevice(c.type);
    Use(device);
    ASSERT_TRUE(link.SetID(300)) << int(c.type);
    const auto page0 = device->Page(0);
    EXPECT_EQ(Bytes(page0.begin() + c.idAt, page0.begin() + c.idAt + 2), B({0x01, 0x2C}));
    EXPECT_EQ(Bytes(page0.begin() + c.dateAt, page0.begin() + c.dateAt + 3), today);
  }
}

TEST_F(DeviceSettings, BaseStationModeResetsAlsoWhenTheWriteFailed) {
  // Silent device: the write is sent twice and fails; the reset goes out anyway.
  link.SetBSMode(1);
  EXPECT_EQ(WaitSent(3), (std::vector<Bytes>{B({2, 5, 0x10, 1, 0, 12, 1, 3}),
                                             B({2, 5, 0x10, 1, 0, 12, 1, 3}), B({2, 1, 0x16, 3})}));
  auto device = MakeDevice(9);
  Use(device);
  line().ClearSent();
  link.SetBSMode(2);
  WaitSent(2);
  EXPECT_EQ(device->Page(0)[12], 2);
}

}  // namespace
}  // namespace linktest

namespace linktest {
namespace {

// A base station behind its module's serial tunnel: one TCP client, frames in, answers out.
class TcpDevice {
 public:
  explicit TcpDevice(qelta::sim::SimDevice& device) : device_(device) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    EXPECT_EQ(::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::listen(listen_, 1), 0);
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      const int c = ::accept(listen_, nullptr, nullptr);
      uint8_t buf[512];
      ssize_t n;
      while (c >= 0 && (n = ::recv(c, buf, sizeof buf, 0)) > 0) {
        Bytes answer = device_.Exchange(std::span<const uint8_t>(buf, static_cast<size_t>(n)));
        if (!answer.empty()) ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
      }
      if (c >= 0) ::close(c);
    });
  }
  ~TcpDevice() {
    ::shutdown(listen_, SHUT_RDWR);
    thread_.join();
    ::close(listen_);
  }
  uint16_t port = 0;

 private:
  qelta::sim::SimDevice& device_;
  int listen_ = -1;
  std::thread thread_;
};

TEST(DeviceOverTcp, ReplyCodesAndCapturedReadsOverTheTunnel) {
  auto device = MakeDevice(9);
  device->WithMemory([](qelta::sim::DeviceMemory& m) {
    for (size_t i = 0; i < 255; ++i) m.Area(qelta::sim::MemoryArea::kPage0)[i] = uint8_t(i + 1);
  });
  qelta::sim::FaultKnobs silent;
  silent.silent = true;
  device->SetFaults(silent);
  TcpDevice tunnel(*device);
  CHalvexCtrl link;
  ASSERT_TRUE(link.Connect(0, 19200));  // forgets any cached device
  ASSERT_EQ(link.ConnectTCP(htonl(INADDR_LOOPBACK), tunnel.port), 0u);
  EXPECT_EQ(link.GetDevice(), -3);

  device->SetFaults({});
  ASSERT_EQ(link.ReadInfo(), 1);
  ASSERT_TRUE(link.ReadEepromBlock(0, 0, 200));
  EXPECT_EQ(link.GetEepByte(0, 199), 200);
  device->SetFaults(silent);
  EXPECT_EQ(link.GetChannel(), -2);  // type known from the cache, the read got no answer
  link.Disconnect();
}

}  // namespace
}  // namespace linktest

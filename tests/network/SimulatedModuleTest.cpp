// The simulated Ethernet module: configuration requests by MAC and password, its restart, and the
// serial tunnel with one client at a time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "NetworkTestSupport.h"
#include "device/SimDevice.h"
#include "module/ModuleDatagrams.h"

namespace qelta::network {
namespace {

using test::NetAddress;
using test::WaitFor;

void SendToGroup(const uint8_t* data, size_t length) {
  ASSERT_TRUE(BaseStationDiscovery::SendToModules(data, length));
}

// Connects to a tunnel; the socket or -1 when refused.
int ConnectTunnel(const std::string& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(kTunnelPort);
  a.sin_addr.s_addr = NetAddress(address);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool Refused(const std::string& address) {
  const int fd = ConnectTunnel(address);
  if (fd >= 0) ::close(fd);
  return fd < 0;
}

TEST(SimulatedModule, AppliesConfigurationOnlyForItsMacAndPassword) {
  test::RequireNamespace();
  sim::ModuleHost host;
  test::StartModules(host, 2);
  const sim::ModuleIdentity target = host.Identity(0);
  MacAddress mac;
  std::copy(target.mac.begin(), target.mac.end(), mac.begin());

  // A wrong password is refused; another module's MAC is not this module's business.
  auto wrong = MakeRebootRequest(mac);
  wrong[18] = 'x';
  SendToGroup(wrong.data(), wrong.size());
  ASSERT_TRUE(WaitFor([&] { return host.Stats(0).configurationsRejected == 1; }, 2000));
  EXPECT_EQ(host.Stats(1).configurationsRejected, 0u);
  EXPECT_FALSE(host.Restarting(0));

  // A static address for module 0: it falls silent, then answers at its new address.
  const auto s = MakeStaticAddressRequest(0x7F000050, 0xFFFF0000, 0x7F000001, mac);
  SendToGroup(s.data(), s.size());
  ASSERT_TRUE(WaitFor([&] { return host.Restarting(0); }, 2000));
  EXPECT_FALSE(host.Restarting(1));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.2")));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.80")));
  ASSERT_TRUE(WaitFor([&] { return host.Online(0); }, 5000));
  EXPECT_TRUE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.80")));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.2")));

  BaseStationDiscovery d;
  d.RunDiscoveryCycle();
  bool seen = false;
  for (uint32_t i = 0; i < d.Table().count; ++i) {
    const BaseStationRecord& r = d.Table().records[i];
    if (std::string(r.addressText) != "127.0.0.80") continue;
    seen = true;
    EXPECT_EQ(r.mask, 0xFFFF0000u);
    EXPECT_EQ(r.dhcp, 0);
  }
  EXPECT_TRUE(seen);

  // DHCP on: the module comes back reporting it.
  const auto h = MakeDhcpRequest(mac);
  SendToGroup(h.data(), h.size());
  ASSERT_TRUE(WaitFor([&] { return host.Identity(0).dhcp; }, 2000));
  EXPECT_EQ(host.Stats(0).configurationsApplied, 2u);
  EXPECT_EQ(host.Stats(1).configurationsApplied, 0u);
}

TEST(SimulatedModule, TunnelCarriesBytesAndTakesOneClientAtATime) {
  test::RequireNamespace();
  sim::ModuleHost host;
  sim::ModuleOptions o;
  o.identity = sim::SampleIdentity(0);
  sim::DeviceIdentity station;
  station.type = sim::kTypeBaseStation;
  station.id = 0x1234;
  o.baseStation = std::make_shared<sim::SimDevice>(station);
  host.AddModule(o);
  o.identity = sim::SampleIdentity(1);
  o.tcpRefused = true;
  host.AddModule(o);
  ASSERT_TRUE(host.Start());

  int first = -1;
  ASSERT_TRUE(WaitFor([&] { return (first = ConnectTunnel("127.0.0.2")) >= 0; }, 2000));
  const uint8_t frame[] = {0x02, 0x01, 0x12, 0x03};
  ASSERT_EQ(::send(first, frame, sizeof frame, 0), 4);
  // The base station's information answer comes back through the tunnel.
  uint8_t answer[8] = {};
  ASSERT_EQ(::recv(first, answer, sizeof answer, MSG_WAITALL), 8);
  EXPECT_EQ(answer[0], 0x12);
  EXPECT_EQ(answer[1], 9);
  EXPECT_EQ(answer[3], 0x12);
  EXPECT_EQ(answer[4], 0x34);

  // Held by the first client: a second connection is refused.
  ASSERT_TRUE(WaitFor([&] { return Refused("127.0.0.2"); }, 2000));
  ::close(first);
  int again = -1;
  ASSERT_TRUE(WaitFor([&] { return (again = ConnectTunnel("127.0.0.2")) >= 0; }, 2000));
  ::close(again);
  EXPECT_TRUE(WaitFor([&] { return host.Stats(0).tunnelConnections == 2; }, 2000));

  EXPECT_TRUE(Refused("127.0.0.3"));
  host.SetTunnelHeld(0, true);
  ASSERT_TRUE(WaitFor([&] { return Refused("127.0.0.2"); }, 2000));
}

}  // namespace
}  // namespace qelta::network

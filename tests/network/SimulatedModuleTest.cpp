// The simulated Ethernet module: configuration requests by MAC and password, its restart, and the
// serial tunnel with one client at a time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <vector>

#include "NetworkTestSupport.h"
#include "device/DeviceResponses.h"
#include "device/SimDevice.h"
#include "module/ModuleDatagrams.h"
#include "module/WebInterface.h"

namespace qelta::network {
namespace {

using test::NetAddress;
using test::WaitFor;

// How long a wait for the module may last. It only bounds a failing run (a passing one goes on as
// soon as the module has done its part): on a loaded machine the module's thread may be seconds
// late, and being late is no fault of the module.
constexpr int kModuleLateMs = 10000;

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

// Whether the module is done with this connection within `ms`: it reset or closed it.
bool ClosedByModule(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, ms) <= 0) return false;
  uint8_t byte;
  return ::recv(fd, &byte, 1, MSG_DONTWAIT) <= 0;
}

// A tunnel the module keeps for another client turns a connection away: the connect is refused,
// or the module resets the connection as soon as its thread takes it.
bool Refused(const std::string& address) {
  const int fd = ConnectTunnel(address);
  if (fd < 0) return true;
  const bool closed = ClosedByModule(fd, kModuleLateMs);
  ::close(fd);
  return closed;
}

// The base station's identity through a tunnel: its eight answer bytes, or none.
std::vector<uint8_t> Identify(int fd) {
  const uint8_t frame[] = {0x02, 0x01, 0x12, 0x03};
  if (::send(fd, frame, sizeof frame, MSG_NOSIGNAL) != 4) return {};
  timeval wait{kModuleLateMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::vector<uint8_t> answer(8);
  if (::recv(fd, answer.data(), answer.size(), MSG_WAITALL) != 8) return {};
  return answer;
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
  ASSERT_TRUE(WaitFor([&] { return host.Stats(0).configurationsRejected == 1; }, kModuleLateMs));
  EXPECT_EQ(host.Stats(1).configurationsRejected, 0u);
  EXPECT_FALSE(host.Restarting(0));

  // A static address for module 0: it falls silent, then answers at its new address.
  const auto s = MakeStaticAddressRequest(0x7F000050, 0xFFFF0000, 0x7F000001, mac);
  SendToGroup(s.data(), s.size());
  ASSERT_TRUE(WaitFor([&] { return host.Restarting(0); }, kModuleLateMs));
  EXPECT_FALSE(host.Restarting(1));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.2")));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.80")));
  ASSERT_TRUE(WaitFor([&] { return host.Online(0); }, kModuleLateMs));
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
  ASSERT_TRUE(WaitFor([&] { return host.Identity(0).dhcp; }, kModuleLateMs));
  EXPECT_EQ(host.Stats(0).configurationsApplied, 2u);
  EXPECT_EQ(host.Stats(1).configurationsApplied, 0u);
}

// Whether the module at `address` answers `request` within the probe's 100 ms.
bool Answers(const std::string& address, const std::vector<uint8_t>& request) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  timeval wait{0, 100000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kDiscoveryPort);
  to.sin_addr.s_addr = NetAddress(address);
  ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  uint8_t answer[512];
  const bool answered = ::recv(fd, answer, sizeof answer, 0) > 0;
  ::close(fd);
  return answered;
}

TEST(SimulatedModule, DiscoveryIsAnsweredForTheAllOnesMacOrTheModulesOwn) {
  test::RequireNamespace();
  sim::ModuleHost host;
  test::StartModules(host, 2);
  auto request = [](const std::vector<uint8_t>& filter) {
    std::vector<uint8_t> d = {'D', 'I', 'G', 'I', 0, 1, 0, static_cast<uint8_t>(filter.size())};
    for (const uint8_t byte : filter) d.push_back(byte);
    return d;
  };
  const sim::ModuleMac own = host.Identity(0).mac, other = host.Identity(1).mac;
  const std::pair<std::vector<uint8_t>, bool> cases[] = {
      {request(std::vector<uint8_t>(6, 0xFF)), true},
      {request({own.begin(), own.end()}), true},
      {request({other.begin(), other.end()}), false},
      {request({0x00, 0x11, 0x22, 0x33, 0x44, 0x55}), false},
      {request({}), false},  // no filter names no module
  };
  for (const auto& [datagram, answered] : cases)
    EXPECT_EQ(Answers("127.0.0.2", datagram), answered) << datagram.size();
}

// Plain HTTP/1.0: the status line of the answer to GET /path, or empty when nobody answers. With
// `whole`, the answer is read to its end: the server has closed first, and its end of the
// connection waits out its close on the server's address.
std::string HttpStatusLine(const std::string& address, uint16_t port, const std::string& path,
                           bool whole = false) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  timeval wait{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = NetAddress(address);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string get = "GET /" + path + " HTTP/1.0\r\nHost: " + address + "\r\n\r\n";
    ::send(fd, get.data(), get.size(), MSG_NOSIGNAL);
    char buffer[256];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
      answer.append(buffer, static_cast<size_t>(n));
      if (!whole) break;
    }
  }
  ::close(fd);
  return answer.substr(0, answer.find("\r\n"));
}

TEST(SimulatedModule, AModuleRecoveredOutsideLoopbackAnswersThereByDiscoveryTunnelAndWeb) {
  test::RequireNamespace();
  sim::ModuleOptions o;
  o.identity = sim::SampleIdentity(0);
  o.restartMs = 300;
  sim::DeviceIdentity station;
  station.type = sim::kTypeBaseStation;
  station.id = 0x0BAD;
  o.baseStation = std::make_shared<sim::SimDevice>(station);
  sim::WebInterfaceOptions w;
  w.address = o.identity.address;
  w.port = 8080;
  w.restartMs = 300;
  sim::ModuleWebServer web(w);  // outlives the host, whose thread moves it
  sim::ModuleHost host;
  host.AddModule(o);
  std::string error;
  ASSERT_TRUE(web.Start(&error)) << error;
  web.SetRebootHook([&host] { host.RestartModule(0); });
  host.SetAddressHook([&web](size_t, const sim::ModuleIdentity& id) { web.MoveTo(id.address); });
  ASSERT_TRUE(host.Start(&error)) << error;
  ASSERT_EQ(HttpStatusLine("127.0.0.2", 8080, "login.htm"), "HTTP/1.1 200 OK");

  // IP recovery: the configurator's static-address request to the group, for this MAC.
  MacAddress mac;
  std::copy(o.identity.mac.begin(), o.identity.mac.end(), mac.begin());
  const auto recover = MakeStaticAddressRequest(0x0A090807, 0xFF000000, 0x0A000001, mac);
  SendToGroup(recover.data(), recover.size());

  // Back after its restart, at the new address only.
  ASSERT_TRUE(
      WaitFor([&] { return BaseStationDiscovery::ProbeBaseStation(NetAddress("10.9.8.7")); },
              kModuleLateMs));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.2")));
  BaseStationDiscovery d;
  d.RunDiscoveryCycle();
  ASSERT_EQ(d.Table().count, 1u);
  EXPECT_STREQ(d.Table().records[0].addressText, "10.9.8.7");
  EXPECT_EQ(d.Table().records[0].gateway, 0x0A000001u);

  int tunnel = -1;
  ASSERT_TRUE(WaitFor([&] { return (tunnel = ConnectTunnel("10.9.8.7")) >= 0; }, kModuleLateMs));
  const uint8_t frame[] = {0x02, 0x01, 0x12, 0x03};
  ASSERT_EQ(::send(tunnel, frame, sizeof frame, 0), 4);
  uint8_t answer[8] = {};
  ASSERT_EQ(::recv(tunnel, answer, sizeof answer, MSG_WAITALL), 8);
  EXPECT_EQ(answer[3], 0x0B);
  EXPECT_EQ(answer[4], 0xAD);
  ::close(tunnel);
  EXPECT_TRUE(Refused("127.0.0.2"));

  ASSERT_TRUE(WaitFor([] { return !HttpStatusLine("10.9.8.7", 8080, "login.htm").empty(); },
                      kModuleLateMs));
  EXPECT_EQ(HttpStatusLine("10.9.8.7", 8080, "login.htm"), "HTTP/1.1 200 OK");
  EXPECT_EQ(HttpStatusLine("127.0.0.2", 8080, "login.htm"), "");
  EXPECT_EQ(web.Settings().ip, "10.9.8.7");
}

// One address, one port: an interface binds where an earlier one has stopped (however its last
// connections are still closing), and never where a live one listens: that start fails with a
// reason and the live interface goes on answering.
TEST(SimulatedWebInterface, BindsWhereAnEarlierOneStoppedAndNeverBesideALiveOne) {
  test::RequireNamespace();
  struct Case {
    const char* name;
    bool firstSilent;
    bool secondSilent;
    bool firstStopped;
  };
  const Case cases[] = {
      {"silent after served", false, true, true},    {"served after silent", true, false, true},
      {"served after served", false, false, true},   {"silent beside served", false, true, false},
      {"served beside served", false, false, false}, {"served beside silent", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::WebInterfaceOptions w;
    w.port = 8080;
    w.silent = c.firstSilent;
    sim::ModuleWebServer first(w);
    std::string error;
    ASSERT_TRUE(first.Start(&error)) << error;
    // A conversation (or a connection nobody answers), so that a connection on the address is
    // still closing when the next interface binds.
    EXPECT_EQ(HttpStatusLine("127.0.0.2", 8080, "login.htm", true).empty(), c.firstSilent);
    if (c.firstStopped) first.Stop();

    w.silent = c.secondSilent;
    sim::ModuleWebServer second(w);
    error.clear();
    EXPECT_EQ(second.Start(&error), c.firstStopped) << error;
    if (!c.firstStopped) {
      EXPECT_NE(error.find("127.0.0.2"), std::string::npos) << error;
      if (!c.firstSilent) {
        EXPECT_EQ(first.Requests().size(), 1u);
      }
    }
    if (!c.secondSilent && c.firstStopped) {
      EXPECT_EQ(HttpStatusLine("127.0.0.2", 8080, "login.htm"), "HTTP/1.1 200 OK");
    }
    if (!c.firstStopped && !c.firstSilent) {
      EXPECT_EQ(HttpStatusLine("127.0.0.2", 8080, "login.htm"), "HTTP/1.1 200 OK");
      EXPECT_EQ(first.Requests().size(), 2u);  // the second interface took no connection
    }
  }
}

// The first sample module with a base station of this ID behind its tunnel.
sim::ModuleOptions ModuleWithStation(uint16_t id) {
  sim::ModuleOptions o;
  o.identity = sim::SampleIdentity(0);
  sim::DeviceIdentity station;
  station.type = sim::kTypeBaseStation;
  station.id = id;
  o.baseStation = std::make_shared<sim::SimDevice>(station);
  return o;
}

TEST(SimulatedModule, TunnelCarriesBytesAndTakesOneClientAtATime) {
  test::RequireNamespace();
  sim::ModuleHost host;
  sim::ModuleOptions o = ModuleWithStation(0x1234);
  host.AddModule(o);
  o.identity = sim::SampleIdentity(1);
  o.tcpRefused = true;
  host.AddModule(o);
  ASSERT_TRUE(host.Start());

  int first = -1;
  ASSERT_TRUE(WaitFor([&] { return (first = ConnectTunnel("127.0.0.2")) >= 0; }, kModuleLateMs));
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
  ASSERT_TRUE(Refused("127.0.0.2"));
  ::close(first);
  int again = -1;
  ASSERT_TRUE(WaitFor([&] { return (again = ConnectTunnel("127.0.0.2")) >= 0; }, kModuleLateMs));
  ::close(again);
  EXPECT_TRUE(WaitFor([&] { return host.Stats(0).tunnelConnections == 2; }, kModuleLateMs));

  EXPECT_TRUE(Refused("127.0.0.3"));
  host.SetTunnelHeld(0, true);
  EXPECT_LT(ConnectTunnel("127.0.0.2"), 0);  // the listener is gone when the call returns
}

// A module told to close its tunnel has closed it when the call returns: the next connect is
// refused by the kernel itself, however late the host's thread (which may be waiting on the very
// socket) comes round. A client the module drops is told so.
TEST(SimulatedModule, AClosedTunnelRefusesTheNextConnectAtOnce) {
  test::RequireNamespace();
  struct Case {
    const char* name;
    std::function<void(sim::ModuleHost&)> close;
    bool clientDropped;
  };
  const Case cases[] = {
      {"held by another client", [](sim::ModuleHost& h) { h.SetTunnelHeld(0, true); }, false},
      {"switched off", [](sim::ModuleHost& h) { h.SetSilent(0, true); }, true},
      {"restarting", [](sim::ModuleHost& h) { h.RestartModule(0); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::ModuleHost host;
    sim::ModuleOptions o = ModuleWithStation(0x0506);
    o.restartMs = 5000;  // still restarting when the test ends
    host.AddModule(o);
    ASSERT_TRUE(host.Start());
    int client = -1;
    ASSERT_TRUE(WaitFor([&] { return (client = ConnectTunnel("127.0.0.2")) >= 0; }, kModuleLateMs));
    ASSERT_EQ(Identify(client).size(), 8u);

    // Held and let go again many times: in some rounds the host's thread is caught waiting on
    // the listener. A dropping case ends the tunnel for the rest of the test.
    const int rounds = c.clientDropped ? 1 : 50;
    for (int round = 0; round < rounds; ++round) {
      c.close(host);
      const int next = ConnectTunnel("127.0.0.2");
      EXPECT_LT(next, 0) << "round " << round;
      if (next >= 0) ::close(next);
      if (c.clientDropped) continue;
      // Let go: the listener is back once the module turns a connection away itself.
      host.SetTunnelHeld(0, false);
      const uint64_t turnedAway = host.Stats(0).tunnelRefusals;
      ASSERT_TRUE(
          WaitFor([&] { return Refused("127.0.0.2") && host.Stats(0).tunnelRefusals > turnedAway; },
                  kModuleLateMs))
          << "round " << round;
    }
    if (c.clientDropped) {
      EXPECT_TRUE(ClosedByModule(client, kModuleLateMs));
    } else {
      EXPECT_EQ(Identify(client).size(), 8u);  // the holding client is still served
    }
    ::close(client);
  }
}

// A client that has closed its end has freed the tunnel, whether or not the module has come
// round to its close: the next client is served, not refused. The module's thread is held back
// (as a busy module's processor is) from the close until after the next connect.
TEST(SimulatedModule, AClosedClientFreesTheTunnelForTheNextAtOnce) {
  test::RequireNamespace();
  sim::ModuleHost host;
  const sim::ModuleOptions o = ModuleWithStation(0x0102);
  host.AddModule(o);
  ASSERT_TRUE(host.Start());

  struct Case {
    const char* name;
    std::vector<uint8_t> lastFrame;  // sent just before the close, its answer never read
  };
  const Case cases[] = {
      {"after a finished exchange", {}},
      {"with a write in flight", {0x02, 0x05, 0x10, 0x01, 0x00, 0x0D, 0x07, 0x03}},
  };
  int previous = -1;
  ASSERT_TRUE(WaitFor([&] { return (previous = ConnectTunnel("127.0.0.2")) >= 0; }, kModuleLateMs));
  ASSERT_EQ(Identify(previous).size(), 8u);
  uint64_t served = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host.Suspend();
    if (!c.lastFrame.empty()) {
      ASSERT_EQ(::send(previous, c.lastFrame.data(), c.lastFrame.size(), MSG_NOSIGNAL),
                static_cast<ssize_t>(c.lastFrame.size()));
    }
    ::close(previous);
    const int next = ConnectTunnel("127.0.0.2");
    host.Resume();
    ASSERT_GE(next, 0) << "refused while the closed client still held the tunnel";
    if (!c.lastFrame.empty()) {
      // What the closed client sent last reaches the line after the new client was taken, so
      // the device's answer, which nobody asked for any more, comes to the new client, as on a
      // real line; always, however late the device's thread runs (a stray status byte would
      // spoil the identity answer below).
      EXPECT_TRUE(WaitFor([&] { return o.baseStation->Page(0)[13] == 7; }, kModuleLateMs));
      uint8_t status = 0;
      pollfd p{next, POLLIN, 0};
      ASSERT_EQ(::poll(&p, 1, kModuleLateMs), 1);
      EXPECT_EQ(::recv(next, &status, 1, 0), 1);
      EXPECT_EQ(status, sim::kAck);
    }
    const std::vector<uint8_t> answer = Identify(next);
    ASSERT_EQ(answer.size(), 8u);
    EXPECT_EQ(answer[3], 0x01);
    EXPECT_EQ(answer[4], 0x02);
    EXPECT_EQ(host.Stats(0).tunnelConnections, ++served);
    previous = next;
  }
  // A client that is still there keeps the tunnel, also while the module is held back.
  host.Suspend();
  const int third = ConnectTunnel("127.0.0.2");
  host.Resume();
  ASSERT_GE(third, 0);
  EXPECT_TRUE(ClosedByModule(third, kModuleLateMs));
  ::close(third);
  EXPECT_EQ(host.Stats(0).tunnelRefusals, 1u);
  EXPECT_EQ(Identify(previous).size(), 8u);
  ::close(previous);
}

}  // namespace
}  // namespace qelta::network

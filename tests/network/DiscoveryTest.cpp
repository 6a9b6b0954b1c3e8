// The discovery thread, the table and its lock, the probe and the silent list, against simulated
// modules on loopback. Every test runs in a private network namespace of its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "NetworkTestSupport.h"

namespace qelta::network {
namespace {

using test::NetAddress;
using test::Recorder;
using test::StartModules;
using test::WaitFor;
using Ms = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

std::vector<std::string> Addresses(BaseStationDiscovery& d) {
  NamedMutexGuard hold(d.ListLock(), 1000);
  std::vector<std::string> out;
  for (uint32_t i = 0; i < d.Table().count; ++i) out.push_back(d.Table().records[i].addressText);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(DiscoveryCycle, WithoutModulesTheTableStaysEmpty) {
  test::RequireNamespace();
  Recorder rec;
  BaseStationDiscovery d(rec.Hooks());
  EXPECT_EQ(d.StatusText(), "Base station discovery");
  const auto start = Clock::now();
  EXPECT_EQ(d.RunDiscoveryCycle(), 0u);
  const auto took = std::chrono::duration_cast<Ms>(Clock::now() - start).count();
  // 50 ms pause and three 100 ms receive time-outs.
  EXPECT_GE(took, 340);
  EXPECT_LT(took, 1500);
  EXPECT_EQ(d.Table().count, 0u);
  EXPECT_EQ(rec.Statuses(), std::vector<std::string>{"Base stations: none"});
}

TEST(DiscoveryCycle, ListsEveryAnsweringModuleWithItsFields) {
  test::RequireNamespace();
  sim::ModuleHost host;
  sim::ModuleOptions o;
  o.identity = sim::SampleIdentity(0);
  o.identity.name = std::string(80, 'n');
  o.identity.dhcp = true;
  o.identity.mask = 0xFFFF0000;
  host.AddModule(o);
  o.identity = sim::SampleIdentity(1);
  o.identity.hasMac = false;
  host.AddModule(o);
  ASSERT_TRUE(host.Start());

  BaseStationDiscovery d;
  EXPECT_EQ(d.RunDiscoveryCycle(), 2u);
  ASSERT_EQ(d.Table().count, 2u);
  const BaseStationRecord* first = &d.Table().records[0];
  const BaseStationRecord* second = &d.Table().records[1];
  if (std::strcmp(first->addressText, "127.0.0.2") != 0) std::swap(first, second);
  EXPECT_STREQ(first->addressText, "127.0.0.2");
  EXPECT_EQ(first->address, NetAddress("127.0.0.2"));
  EXPECT_EQ(first->port, 2101);
  EXPECT_EQ(std::string(first->name), std::string(64, 'n'));
  EXPECT_EQ(first->dhcp, 1);
  EXPECT_TRUE(first->macValid);
  EXPECT_EQ(FormatMac(first->mac), "00-40-9D-00-00-00");
  EXPECT_TRUE(first->maskValid);
  EXPECT_EQ(first->mask, 0xFFFF0000u);
  EXPECT_TRUE(first->gatewayValid);
  EXPECT_EQ(first->gateway, 0x7F000001u);
  EXPECT_STREQ(second->addressText, "127.0.0.3");
  EXPECT_FALSE(second->macValid);
  EXPECT_EQ(second->mac, MacAddress{});
  EXPECT_EQ(d.StatusText(), "Base stations: 2");
}

TEST(DiscoveryThread, FollowsTheNetworkUnlessTheListHoldsTheTable) {
  test::RequireNamespace();
  sim::ModuleHost host;
  StartModules(host, 3);
  Recorder rec;
  BaseStationDiscovery d(rec.Hooks());
  d.StartDiscovery();
  ASSERT_TRUE(WaitFor([&] { return Addresses(d).size() == 3; }, 5000));
  EXPECT_EQ(d.StatusText(), "Base stations: 3");

  // Frozen: a station switched off stays in the table.
  d.ListShowsBaseStations() = 1;
  host.SetSilent(1, true);
  const uint64_t cycles = d.CycleCount();
  ASSERT_TRUE(WaitFor([&] { return d.CycleCount() >= cycles + 2; }, 5000));
  EXPECT_EQ(Addresses(d), (std::vector<std::string>{"127.0.0.2", "127.0.0.3", "127.0.0.4"}));

  // Released: it drops out with the next cycle.
  d.ListShowsBaseStations() = 0;
  ASSERT_TRUE(WaitFor([&] { return Addresses(d).size() == 2; }, 5000));
  EXPECT_EQ(Addresses(d), (std::vector<std::string>{"127.0.0.2", "127.0.0.4"}));
  EXPECT_EQ(d.StatusText(), "Base stations: 2");
  d.StopDiscovery();
  EXPECT_FALSE(d.Running());
}

TEST(DiscoveryThread, StopsWithinASecondWhateverItIsDoing) {
  test::RequireNamespace();
  sim::ModuleHost host;
  StartModules(host, 20);
  for (int delay : {0, 120, 260, 420, 700}) {
    BaseStationDiscovery d;
    d.StartDiscovery();
    std::this_thread::sleep_for(Ms(delay));
    const auto start = Clock::now();
    d.StopDiscovery();
    EXPECT_LT(std::chrono::duration_cast<Ms>(Clock::now() - start).count(), 1000) << delay;
    EXPECT_FALSE(d.Running());
  }
}

TEST(DiscoveryThread, AStuckUpdateDoesNotHoldUpTheStop) {
  test::RequireNamespace();
  Recorder rec;
  auto d = std::make_unique<BaseStationDiscovery>(rec.Hooks());
  // Another holder of the named lock keeps every update waiting its 200 ms.
  NamedMutex other(kListLockName);
  std::atomic<bool> release{false};
  std::thread holder([&] {
    ASSERT_TRUE(other.TryLockFor(0));
    while (!release) std::this_thread::sleep_for(Ms(5));
    other.Unlock();
  });
  d->StartDiscovery();
  std::this_thread::sleep_for(Ms(600));
  const auto start = Clock::now();
  d.reset();
  EXPECT_LT(std::chrono::duration_cast<Ms>(Clock::now() - start).count(), 1000);
  release = true;
  holder.join();
  EXPECT_TRUE(rec.Statuses().empty()) << "no update could take the lock";
}

TEST(DiscoveryThread, AThreadStuckInTheFormIsLeftBehindSafely) {
  test::RequireNamespace();
  // The form's label hook blocks for 1.5 s: StopDiscovery must give up after 1000 ms, and the
  // thread, when it wakes, must touch nothing of the destroyed component or form.
  auto finished = std::make_shared<std::atomic<bool>>(false);
  auto calls = std::make_shared<std::atomic<int>>(0);
  DiscoveryHooks hooks;
  hooks.statusText = [finished, calls](const std::string&) {
    if (calls->fetch_add(1) == 0) {
      std::this_thread::sleep_for(Ms(1500));
      *finished = true;
    }
  };
  auto d = std::make_unique<BaseStationDiscovery>(hooks);
  d->StartDiscovery();
  ASSERT_TRUE(WaitFor([&] { return calls->load() == 1; }, 3000));
  const auto start = Clock::now();
  d.reset();
  const auto took = std::chrono::duration_cast<Ms>(Clock::now() - start).count();
  EXPECT_GE(took, 990);
  EXPECT_LT(took, 1200);
  ASSERT_TRUE(WaitFor([&] { return finished->load(); }, 3000));
  std::this_thread::sleep_for(Ms(200));
  EXPECT_EQ(calls->load(), 1) << "no hook is called once the stop has let go of the form";
}

TEST(UpdateBaseStationList, RebuildsFromTheLastCycleAndHonoursTheFlags) {
  BaseStationDiscovery d;
  std::vector<DiscoveryResponse> answers(3);
  answers[0].address = NetAddress("10.0.0.7");
  answers[1].address = NetAddress("169.254.10.20");
  answers[2].address = NetAddress("10.0.0.7");  // answered twice: listed twice
  ASSERT_TRUE(d.UpdateBaseStationList(answers.data(), answers.size()));
  EXPECT_EQ(d.Table().count, 3u);
  EXPECT_EQ(d.StatusText(), "Base stations: 3");

  d.SetIgnoreTempAddresses(true);
  ASSERT_TRUE(d.UpdateBaseStationList(answers.data(), answers.size()));
  ASSERT_EQ(d.Table().count, 2u);
  EXPECT_STREQ(d.Table().records[1].addressText, "10.0.0.7");

  d.ListShowsBaseStations() = 1;
  ASSERT_TRUE(d.UpdateBaseStationList(nullptr, 0));
  EXPECT_EQ(d.Table().count, 2u);
  EXPECT_EQ(d.StatusText(), "Base stations: 2");
  d.ListShowsBaseStations() = 0;
  ASSERT_TRUE(d.UpdateBaseStationList(nullptr, 0));
  EXPECT_EQ(d.StatusText(), "Base stations: none");

  // More answers than the table holds: the first 256 are kept.
  std::vector<DiscoveryResponse> many(300);
  for (size_t i = 0; i < many.size(); ++i) many[i].address = htonl(0x0A000000u + uint32_t(i));
  ASSERT_TRUE(d.UpdateBaseStationList(many.data(), many.size()));
  EXPECT_EQ(d.Table().count, 256u);
  EXPECT_STREQ(d.Table().records[255].addressText, "10.0.0.255");
}

TEST(UpdateBaseStationList, GivesUpAfter200MsWhenTheLockIsHeld) {
  BaseStationDiscovery d;
  NamedMutex other(kListLockName);
  std::atomic<bool> taken{false}, release{false};
  std::thread holder([&] {
    other.TryLockFor(0);
    taken = true;
    while (!release) std::this_thread::sleep_for(Ms(5));
    other.Unlock();
  });
  while (!taken) std::this_thread::sleep_for(Ms(1));
  DiscoveryResponse one;
  one.address = NetAddress("10.0.0.7");
  const auto start = Clock::now();
  EXPECT_FALSE(d.UpdateBaseStationList(&one, 1));
  const auto took = std::chrono::duration_cast<Ms>(Clock::now() - start).count();
  EXPECT_GE(took, 190);
  EXPECT_LT(took, 1000);
  EXPECT_EQ(d.Table().count, 0u);
  EXPECT_EQ(d.StatusText(), "Base station discovery");
  release = true;
  holder.join();
}

TEST(TemporaryAddresses, AreListedOrLeftOutByTheSetting) {
  test::RequireNamespace();
  uint32_t temp = 0;
  sim::ParseDottedAddress("169.254.10.20", temp);
  std::string error;
  ASSERT_TRUE(sim::AddLoopbackAddress(temp, &error)) << error;
  sim::ModuleHost host;
  sim::ModuleOptions o;
  o.identity = sim::SampleIdentity(0);
  o.identity.address = temp;
  host.AddModule(o);
  o.identity = sim::SampleIdentity(1);
  host.AddModule(o);
  ASSERT_TRUE(host.Start());

  Recorder rec;
  BaseStationDiscovery d(rec.Hooks());
  d.RunDiscoveryCycle();
  EXPECT_EQ(Addresses(d), (std::vector<std::string>{"127.0.0.3", "169.254.10.20"}));
  d.SetIgnoreTempAddresses(true);
  d.RunDiscoveryCycle();
  EXPECT_EQ(Addresses(d), (std::vector<std::string>{"127.0.0.3"}));

  // Later warnings mention the temporary address.
  d.SetIgnoreTempAddresses(false);
  d.RunDiscoveryCycle();
  BaseStationRecord lost;
  for (uint32_t i = 0; i < d.Table().count; ++i) {
    if (d.Table().records[i].address == htonl(temp)) lost = d.Table().records[i];
  }
  host.SetSilent(0, true);
  EXPECT_FALSE(d.ConfirmResponding(&lost));
  ASSERT_EQ(rec.boxes.size(), 1u);
  EXPECT_EQ(rec.boxes[0],
            "Connection lost|Base station at 169.254.10.20 is not responding.\n\nWarning: the IP "
            "address may be temporary.\nTry clearing the list and then View again.");
  EXPECT_TRUE(d.CheckPresence(&lost));
  d.ReportSilentBaseStations("(BS reset)");
  ASSERT_EQ(rec.rows.size(), 1u);
  EXPECT_EQ(rec.rows[0].column[0], "Address: 169.254.10.20");
  EXPECT_EQ(rec.rows[0].column[1], "No answer (BS reset)");
  EXPECT_EQ(rec.rows[0].column[2], "Warning: IP may be temporary.");
  EXPECT_EQ(rec.rows[0].image, 5);
}

TEST(ManyModules, FillTheTableAndFurtherAnswersAreDropped) {
  test::RequireNamespace();
  sim::ModuleHost host;
  StartModules(host, 300);
  BaseStationDiscovery d;
  EXPECT_EQ(d.RunDiscoveryCycle(), 256u);
  EXPECT_EQ(d.Table().count, 256u);
  EXPECT_EQ(d.StatusText(), "Base stations: 256");
  // The dropped answers do not spill into the next cycle's start.
  d.RunDiscoveryCycle();
  EXPECT_EQ(d.Table().count, 256u);
  const auto addresses = Addresses(d);
  EXPECT_EQ(std::set<std::string>(addresses.begin(), addresses.end()).size(), 256u);
}

TEST(MalformedAnswers, NeverCrashAndStillCountAsStations) {
  test::RequireNamespace();
  using sim::MalformedAnswer;
  const MalformedAnswer kinds[] = {MalformedAnswer::kTruncated,   MalformedAnswer::kBadMagic,
                                   MalformedAnswer::kLowerMagic,  MalformedAnswer::kNameOverrun,
                                   MalformedAnswer::kFieldCutOff, MalformedAnswer::kEmpty,
                                   MalformedAnswer::kOversize,    MalformedAnswer::kGarbage};
  sim::ModuleHost host;
  for (size_t i = 0; i < std::size(kinds); ++i) {
    sim::ModuleOptions o;
    o.identity = sim::SampleIdentity(i);
    o.malformed = kinds[i];
    host.AddModule(o);
  }
  ASSERT_TRUE(host.Start());
  BaseStationDiscovery d;
  for (int round = 0; round < 3; ++round) {
    // Every kind but the empty datagram counts; the empty one changes nothing.
    EXPECT_EQ(d.RunDiscoveryCycle(), std::size(kinds) - 1);
  }
  NamedMutexGuard hold(d.ListLock(), 1000);
  for (uint32_t i = 0; i < d.Table().count; ++i) {
    const BaseStationRecord& r = d.Table().records[i];
    const std::string address = r.addressText;
    EXPECT_LE(std::strlen(r.name), 64u);
    if (address == "127.0.0.2" || address == "127.0.0.3") {  // truncated, bad magic: empty
      EXPECT_FALSE(r.macValid || r.maskValid || r.gatewayValid);
      EXPECT_STREQ(r.name, "");
    }
    if (address == "127.0.0.4") {
      EXPECT_STREQ(r.name, "BS-3");  // "digi" is as good as "DIGI"
    }
  }
}

TEST(Probe, AnswersOnlyForAModuleThatReplies) {
  test::RequireNamespace();
  sim::ModuleHost host;
  StartModules(host, 2);
  host.SetSilent(1, true);
  const auto start = Clock::now();
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(0));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(0xFFFFFFFFu));
  EXPECT_LT(std::chrono::duration_cast<Ms>(Clock::now() - start).count(), 50);
  EXPECT_TRUE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.2")));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.3")));
  EXPECT_FALSE(BaseStationDiscovery::ProbeBaseStation(NetAddress("127.0.0.99")));
}

// Waiting for named stations: each comes back as the table would list it, in the order named;
// one that stays silent is waited for until the cycle under way has ended, never for the whole
// time allowed. Without a running discovery the time allowed is the bound.
TEST(AwaitStations, GivesTheNamedStationsOnceEachHasAnswered) {
  test::RequireNamespace();
  sim::ModuleHost host;
  StartModules(host, 4);
  host.SetSilent(2, true);  // 127.0.0.4
  BaseStationDiscovery idle;
  const auto idleStart = Clock::now();
  EXPECT_TRUE(idle.AwaitStations({NetAddress("127.0.0.2")}, Ms(200)).empty());
  EXPECT_GE(std::chrono::duration_cast<Ms>(Clock::now() - idleStart).count(), 200);

  BaseStationDiscovery d;
  d.StartDiscovery();
  struct Case {
    std::vector<std::string> named;
    std::vector<std::string> found;
    bool cycleEnds;  // the wait lasts until a cycle has ended
  };
  const Case cases[] = {
      {{"127.0.0.3"}, {"127.0.0.3"}, false},
      {{"127.0.0.5", "127.0.0.2"}, {"127.0.0.5", "127.0.0.2"}, false},
      {{"127.0.0.4"}, {}, true},
      {{"127.0.0.4", "127.0.0.3"}, {"127.0.0.3"}, true},
      {{}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named.empty() ? "none" : c.named.front());
    std::vector<uint32_t> addresses;
    for (const std::string& a : c.named) addresses.push_back(NetAddress(a));
    const uint64_t cycles = d.CycleCount();
    const auto start = Clock::now();
    const std::vector<BaseStationRecord> got = d.AwaitStations(addresses, Ms(10000));
    const auto took = std::chrono::duration_cast<Ms>(Clock::now() - start).count();
    std::vector<std::string> found;
    for (const BaseStationRecord& r : got) {
      found.push_back(r.addressText);
      EXPECT_EQ(r.port, 2101);
      EXPECT_TRUE(r.macValid);
    }
    EXPECT_EQ(found, c.found);
    if (c.cycleEnds) {
      EXPECT_GT(d.CycleCount(), cycles);
    }
    EXPECT_LT(took, 5000);
  }
  d.StopDiscovery();
}

TEST(SilentList, RemembersEachStationOnceAndStartsOverWhenFull) {
  test::RequireNamespace();
  sim::ModuleHost host;
  StartModules(host, 1);
  Recorder rec;
  BaseStationDiscovery d(rec.Hooks());
  BaseStationRecord present;
  present.address = NetAddress("127.0.0.2");
  EXPECT_FALSE(d.CheckPresence(&present));
  EXPECT_FALSE(d.CheckPresence(nullptr));
  EXPECT_EQ(d.Silent().count, 0u);

  // Nothing listens at 127.0.1.x: each probe fails at once.
  auto station = [](uint32_t i) {
    BaseStationRecord r;
    r.address = htonl(0x7F010000u + i);
    std::snprintf(r.addressText, sizeof r.addressText, "%s", AddressToText(r.address).c_str());
    return r;
  };
  const BaseStationRecord a = station(1);
  EXPECT_TRUE(d.CheckPresence(&a));
  EXPECT_TRUE(d.CheckPresence(&a));
  EXPECT_EQ(d.Silent().count, 1u);
  for (uint32_t i = 2; i <= 256; ++i) {
    const BaseStationRecord r = station(i);
    ASSERT_TRUE(d.CheckPresence(&r));
  }
  EXPECT_EQ(d.Silent().count, 256u);
  const BaseStationRecord last = station(257);
  EXPECT_TRUE(d.CheckPresence(&last));
  ASSERT_EQ(d.Silent().count, 1u);

  d.ReportSilentBaseStations("");
  ASSERT_EQ(rec.rows.size(), 1u);
  EXPECT_EQ(rec.rows[0].column[0], "Address: 127.1.1.1");
  EXPECT_EQ(rec.rows[0].column[1], "No answer ");
  EXPECT_EQ(rec.rows[0].column[2], "Lost connection?");
  EXPECT_EQ(d.Silent().count, 0u);
}

}  // namespace
}  // namespace qelta::network

// qelta-sim's module options end to end: the program runs modules that discovery then finds.
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "NetworkTestSupport.h"

namespace qelta::network {
namespace {

// Starts qelta-sim (beside this test program) and reads its first `lines` lines of output.
class SimProcess {
 public:
  SimProcess(const std::vector<std::string>& args, int lines) {
    const std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "qelta-sim").string();
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      std::vector<char*> argv = {const_cast<char*>(program.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    char c;
    while (lines > 0 && ::read(out[0], &c, 1) == 1) {
      output_ += c;
      if (c == '\n') --lines;
    }
    ::close(out[0]);
  }
  ~SimProcess() { End(SIGTERM); }
  // Ends the program with this signal and answers how it ended (waitpid's status).
  int End(int signal) {
    int status = -1;
    if (pid_ <= 0) return status;
    ::kill(pid_, signal);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  const std::string& Output() const { return output_; }

 private:
  pid_t pid_ = -1;
  std::string output_;
};

TEST(ModuleProgram, RunsModulesWithTheirKnobs) {
  test::RequireNamespace();
  SimProcess sim({"--modules", "3", "--module-temp", "--module-silent", "2", "--module-long-names",
                  "--module-no-mac", "--module-dhcp"},
                 3);
  ASSERT_EQ(sim.Output(), "module 169.254.10.20 " + std::string(100, 'a') +
                              "\nmodule 169.254.10.21 " + std::string(100, 'b') +
                              " (silent)\nmodule 169.254.10.22 " + std::string(100, 'c') + "\n");
  BaseStationDiscovery d;
  EXPECT_EQ(d.RunDiscoveryCycle(), 2u);
  ASSERT_EQ(d.Table().count, 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    const BaseStationRecord& r = d.Table().records[i];
    EXPECT_EQ(FirstOctet(r.address), 169);
    EXPECT_EQ(std::strlen(r.name), 64u);
    EXPECT_FALSE(r.macValid);
    EXPECT_EQ(r.dhcp, 1);
  }
  d.SetIgnoreTempAddresses(true);
  EXPECT_EQ(d.RunDiscoveryCycle(), 2u);
  EXPECT_EQ(d.Table().count, 0u);
}

// Whether the loopback interface holds this address (host order).
bool OnLoopback(uint32_t hostOrder) {
  ifaddrs* all = nullptr;
  if (::getifaddrs(&all) != 0) return false;
  bool found = false;
  for (const ifaddrs* a = all; a && !found; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || std::strcmp(a->ifa_name, "lo") != 0)
      continue;
    found = ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr) == hostOrder;
  }
  ::freeifaddrs(all);
  return found;
}

// The addresses the program put on lo (its modules' own, and one a module was recovered to) go
// when it ends, however it is told to end; an address that was there before it stays.
TEST(ModuleProgram, TakesTheAddressesItAddedOffTheLoopbackInterfaceWhenItEnds) {
  test::RequireNamespace();
  constexpr uint32_t kRecovered = 0x0A090807;  // 10.9.8.7, where the second module is moved
  constexpr uint32_t kKept = 0x0A050505;       // 10.5.5.5, on lo before the program starts
  std::string error;
  ASSERT_TRUE(sim::AddLoopbackAddress(kKept, &error)) << error;
  struct Case {
    const char* name;
    int signal;
    const char* first;  // --module-first
  };
  const Case cases[] = {{"SIGTERM", SIGTERM, "10.1.1.1"},
                        {"SIGINT", SIGINT, "10.1.1.1"},
                        {"SIGHUP", SIGHUP, "10.1.1.1"},
                        {"an address that was there before", SIGTERM, "10.5.5.4"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t first = 0;
    ASSERT_TRUE(sim::ParseDottedAddress(c.first, first));
    SimProcess sim({"--modules", "2", "--module-first", c.first, "--module-restart-ms", "100"}, 2);
    ASSERT_NE(sim.Output().find(c.first), std::string::npos) << sim.Output();
    EXPECT_TRUE(OnLoopback(first));
    EXPECT_TRUE(OnLoopback(first + 1));
    // IP recovery moves the second module to 10.9.8.7, once the module answers (the program
    // prints its modules before it starts serving them).
    ASSERT_TRUE(test::WaitFor(
        [&] { return BaseStationDiscovery::ProbeBaseStation(htonl(first + 1)); }, 5000));
    const sim::ModuleIdentity second = sim::SampleIdentity(1);
    MacAddress mac;
    std::copy(second.mac.begin(), second.mac.end(), mac.begin());
    const auto recover = MakeStaticAddressRequest(kRecovered, 0xFF000000, 0x0A000001, mac);
    ASSERT_TRUE(BaseStationDiscovery::SendToModules(recover.data(), recover.size()));
    ASSERT_TRUE(test::WaitFor(
        [] { return BaseStationDiscovery::ProbeBaseStation(htonl(kRecovered)); }, 5000));
    EXPECT_TRUE(OnLoopback(kRecovered));

    const int status = sim.End(c.signal);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_FALSE(OnLoopback(kRecovered));
    EXPECT_EQ(OnLoopback(first), first == kKept);
    EXPECT_EQ(OnLoopback(first + 1), first + 1 == kKept);
    EXPECT_TRUE(OnLoopback(kKept));
  }
}

}  // namespace
}  // namespace qelta::network

// The command line's side of fleet runs, with the real program: --jobs as a global option, the
// progress on stderr, SIGINT as Cancel, and two programs numbering stations at once from one
// settings file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/FileAccess.h"
#include "core/SettingsStore.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"
#include "module/WebInterface.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// qeltaconfig-cli (beside this test program) with its output in files.
class CliProcess {
 public:
  CliProcess(const std::string& root, const std::string& name, std::vector<std::string> args)
      : out_(root + "/" + name + ".out"), err_(root + "/" + name + ".err") {
    const std::string program =
        (fs::read_symlink("/proc/self/exe").parent_path() / "qeltaconfig-cli").string();
    pid_ = ::fork();
    if (pid_ == 0) {
      std::FILE* o = std::freopen(out_.c_str(), "w", stdout);
      std::FILE* e = std::freopen(err_.c_str(), "w", stderr);
      if (!o || !e) ::_exit(126);
      std::vector<char*> argv = {const_cast<char*>(program.c_str())};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~CliProcess() {
    if (pid_ > 0 && status_ < 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  int Wait() {
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_)
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  std::string Out() const { return Read(out_); }
  std::string Err() const { return Read(err_); }

 private:
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string out_, err_;
  pid_t pid_ = -1;
  int status_ = -1;
};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class FleetCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-fleetcli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    settings = root + "/QeltaConfigurator.conf";
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    SettingsStore store(RealFileAccess(), settings);
    ASSERT_EQ(store.Create(), 0);
    ASSERT_EQ(store.WriteNumber("CommID", 10000), 0);
  }
  void TearDown() override {
    for (auto& w : web) w->Stop();
    host.Stop();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // n modules at 127.0.0.2 on, each with a base station; with a web delay, web interfaces too.
  void StartStations(std::size_t n, int webDelayMs = -1) {
    for (std::size_t i = 0; i < n; ++i) {
      qelta::sim::ModuleOptions m;
      m.identity = qelta::sim::SampleIdentity(i);
      qelta::sim::DeviceIdentity id;
      id.type = qelta::sim::kTypeBaseStation;
      m.baseStation = std::make_shared<qelta::sim::SimDevice>(id);
      stations.push_back(m.baseStation);
      host.AddModule(m);
      if (webDelayMs < 0) continue;
      qelta::sim::WebInterfaceOptions w;
      w.address = m.identity.address;
      w.answerDelayMs = webDelayMs;
      w.threads = 2;
      web.push_back(std::make_unique<qelta::sim::ModuleWebServer>(w));
      std::string error;
      ASSERT_TRUE(web.back()->Start(&error)) << error;
    }
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;
  }

  uint32_t CommIdOf(std::size_t i) const {
    const auto page = stations[i]->Page(0);
    return page[1] * 256u + page[2];
  }
  uint32_t StoredCommId() {
    SettingsStore store(RealFileAccess(), settings);
    SettingsDocument doc;
    EXPECT_EQ(store.Open(doc), 0);
    return ReadNumberValue(doc, "CommID").value_or(0);
  }

  std::string root, settings;
  qelta::sim::ModuleHost host;
  std::vector<std::shared_ptr<qelta::sim::SimDevice>> stations;
  std::vector<std::unique_ptr<qelta::sim::ModuleWebServer>> web;
};

TEST_F(FleetCliTest, TwoProgramsOnOneSettingsFileNeverHandOutTheSameCommId) {
  StartStations(4);
  // Both start together and read "CommID" at once; each numbers its own two stations.
  CliProcess a(root, "a",
               {"--settings", settings, "comm-id", "--station", "127.0.0.2", "--station",
                "127.0.0.3", "--wait", "3000"});
  CliProcess b(root, "b",
               {"comm-id", "--station", "127.0.0.4", "--station", "127.0.0.5", "--wait", "3000",
                "--settings", settings, "--jobs", "2"});
  // Both list the stations first, and a module's tunnel serves one client at a time: a station
  // may be busy with the other program and then refuses (its number is used up all the same).
  const int statusA = a.Wait();
  const int statusB = b.Wait();
  EXPECT_LE(statusA, 1) << a.Err();
  EXPECT_LE(statusB, 1) << b.Err();
  auto numbers = [](const std::string& out) {
    std::vector<uint32_t> ids;
    const std::string mark = "Comm ID: ";
    for (auto at = out.find(mark); at != std::string::npos; at = out.find(mark, at + 1))
      ids.push_back(static_cast<uint32_t>(std::stoul(out.substr(at + mark.size()))));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
  };
  const auto idsA = numbers(a.Out());
  const auto idsB = numbers(b.Out());
  EXPECT_FALSE(idsA.empty() && idsB.empty()) << a.Out() << b.Out();
  // Each program took two numbers of its own under the settings lock: 10000-10001 and
  // 10002-10003, in either order, and "CommID" moved on by four.
  for (uint32_t x : idsA) EXPECT_TRUE(std::find(idsB.begin(), idsB.end(), x) == idsB.end()) << x;
  auto block = [](const std::vector<uint32_t>& ids) {
    return ids.empty() ? 0u : (ids.front() - 10000u) / 2u;
  };
  if (!idsA.empty() && !idsB.empty()) {
    EXPECT_NE(block(idsA), block(idsB));
  }
  for (const auto& ids : {idsA, idsB}) {
    for (uint32_t x : ids) {
      EXPECT_GE(x, 10000u);
      EXPECT_LE(x, 10003u);
    }
  }
  EXPECT_EQ(StoredCommId(), 10004u);
  // What the stations hold is what the rows said.
  std::this_thread::sleep_for(200ms);  // the last byte written reaches its device
  for (std::size_t i = 0; i < 4; ++i) {
    const uint32_t held = CommIdOf(i);
    if (held == 0xFFFF) continue;  // refused while the other program held its tunnel
    const bool inA = std::find(idsA.begin(), idsA.end(), held) != idsA.end();
    const bool inB = std::find(idsB.begin(), idsB.end(), held) != idsB.end();
    EXPECT_TRUE(i < 2 ? inA : inB) << "station " << i << " holds " << held;
  }
}

TEST_F(FleetCliTest, JobsIsAGlobalOptionFromOneToSixtyFour) {
  StartStations(3);
  struct Case {
    std::vector<std::string> args;
    int status;            // -1: a usage error (neither success nor a failed command)
    const char* progress;  // expected on stderr, or empty
  };
  const std::vector<Case> cases = {
      {{"--jobs", "3", "bs-reset", "--all"}, 0, "stations: 100% (3/3), 0 failures"},
      {{"bs-reset", "--all", "--jobs", "2"}, 0, "stations: 100% (3/3), 0 failures"},
      {{"bs-reset", "--all"}, 0, "stations: 100% (3/3), 0 failures"},
      {{"--jobs", "0", "bs-reset", "--all"}, -1, ""},
      {{"bs-reset", "--all", "--jobs", "65"}, -1, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--settings", settings};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CliProcess p(root, "jobs" + std::to_string(n++), args);
    SCOPED_TRACE(args.back());
    const int status = p.Wait();
    if (c.status < 0) {
      EXPECT_GT(status, 1) << p.Err();
      EXPECT_NE(p.Err().find("--jobs"), std::string::npos) << p.Err();
    } else {
      EXPECT_EQ(status, c.status) << p.Err();
    }
    if (*c.progress) {
      EXPECT_NE(p.Err().find(c.progress), std::string::npos) << p.Err();
      EXPECT_EQ(Count(p.Out(), "Resetting...\t127.0.0."), 3u) << p.Out();
    }
  }
}

TEST_F(FleetCliTest, InterruptStartsNoFurtherStationAndEndsWithAFailure) {
  // Each station's module defaults take about 1.6 s (eight answers, 200 ms each). The interrupt
  // comes once two stations are done with them: each of those says what it did not do (nothing,
  // when the module defaults were all there was to do), every other station that it did nothing.
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* doneRow;  // the cancel row of a station whose module defaults were done
  };
  const std::string pcg = root + "/defaults.pcg";
  std::ofstream(pcg) << "EXTRAID:7\n";
  const Case cases[] = {
      {"eth-defaults", {"bs-eth-defaults", "--all"}, nullptr},
      {"all-defaults",
       {"bs-defaults", pcg, "--all"},
       "Not done (cancelled): EEPROM, radio type\t127.0.0."},
  };
  const std::size_t n = 10;
  StartStations(n, 200);
  {
    SettingsStore store(RealFileAccess(), settings);
    ASSERT_EQ(store.WriteNumber("UIService", 1), 0);
  }
  std::vector<std::vector<uint8_t>> before;
  for (const auto& station : stations) before.push_back(station->Page(0));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"--settings", settings, "--jobs", "2"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"--wait", "3000"});
    std::vector<std::size_t> requestsBefore;
    for (const auto& w : web) requestsBefore.push_back(w->Requests().size());
    CliProcess p(root, c.name, args);
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (p.Err().find("(2/10)") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(20ms);
    }
    p.Signal(SIGINT);
    EXPECT_EQ(p.Wait(), 1) << p.Err();
    const std::string out = p.Out();
    const std::size_t done = Count(out, "Operating on..........");
    const std::size_t notStarted = Count(out, "Not started (cancelled)\t127.0.0.");
    EXPECT_GE(done, 2u);
    EXPECT_LT(done, n);
    EXPECT_EQ(done + notStarted, n) << out;
    EXPECT_EQ(c.doneRow ? Count(out, c.doneRow) : 0u, c.doneRow ? done : 0u) << out;
    EXPECT_EQ(Count(out, "(cancelled)"), c.doneRow ? n : notStarted) << out;
    // A station that was not started got no request at all; no station got its EEPROM.
    std::size_t untouched = 0;
    for (std::size_t i = 0; i < web.size(); ++i)
      untouched += web[i]->Requests().size() == requestsBefore[i] ? 1 : 0;
    EXPECT_EQ(untouched, notStarted);
    EXPECT_EQ(Count(out, "Default EEPROM"), 0u) << out;
    for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(stations[i]->Page(0), before[i]) << i;
    EXPECT_NE(p.Err().find("stations: cancelled"), std::string::npos) << p.Err();
  }
}

}  // namespace

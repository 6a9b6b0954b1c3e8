// The fleet runner on its own: stations that take different times, fail, go silent or get
// cancelled, one at a time and several at once. The list, as the listeners see it change, must be
// the same whatever the number of stations at once.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/StationRuns.h"
#include "fleet/FleetRun.h"
#include "fleet/FleetSettings.h"
#include "ui/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
using qelta::fleet::FleetMonitor;
using qelta::fleet::FleetProgress;
using qelta::fleet::FleetRun;
using qelta::fleet::StationHandle;

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/testbrowser %u"}; }
};

// Asks to cancel once `after` stations of the phase are done.
class CancellingMonitor : public FleetMonitor {
 public:
  explicit CancellingMonitor(std::size_t after) : after_(after) {}
  void Progress(const FleetProgress& p) override {
    last = p;
    if (p.done >= after_) asked = true;
  }
  bool CancelRequested() override { return asked; }
  FleetProgress last;
  bool asked = false;

 private:
  std::size_t after_;
};

class FleetRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-fleet-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root + "/bin");
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = root + "/QeltaConfigurator.conf";
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    form = CreateMainForm(ui, env);
    form->InitialiseForm();
    qelta::network::StopDiscovery(*form);
    host = std::make_unique<FormRunHost>(*form);
    form->outputList().AddListener([this](const OutputList& l, const OutputListChange& c) {
      if (!l.ValidRow(c.row)) {
        if (c.kind == OutputListChange::Cleared) trace.push_back("clear");
        return;
      }
      const OutputRow& r = l.Row(c.row);
      const char* mark = c.kind == OutputListChange::RowAdded ? "+" : "~";
      trace.push_back(mark + std::to_string(c.row) + " " + r.text[0] + "|" + r.text[1] + "|" +
                      r.text[2] + "|" + std::to_string(r.image));
    });
  }
  void TearDown() override {
    host.reset();
    form.reset();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  std::vector<BaseStationRecord> Names(std::size_t n) {
    std::vector<BaseStationRecord> names(n);
    for (std::size_t i = 0; i < n; ++i)
      std::snprintf(names[i].addressText, sizeof names[i].addressText, "10.0.0.%zu", i + 1);
    return names;
  }

  std::string root;
  NoBrowser browser;
  qelta::ScriptedUi ui;
  std::unique_ptr<CQeltaConfigView> form;
  std::unique_ptr<FormRunHost> host;
  std::vector<std::string> trace;
  std::thread::id formThread = std::this_thread::get_id();
};

// Every kind of thing a station does to the form: rows and their changes (its own and one of the
// form's), a notice, a beep, a change of the form's state, a silent probe (addresses 0 and all
// ones are never sent to), and work that takes longer the earlier the station comes in the list.
void Station(StationHandle& s, int progressRow, std::thread::id formThread) {
  const std::size_t i = s.Index();
  std::this_thread::sleep_for(std::chrono::milliseconds(5 * (6 - static_cast<int>(i % 6))));
  const int row = s.AddRow("Station", std::to_string(i), 2);
  s.SetText(StationHandle::ListRow(progressRow), 1, "at " + std::to_string(i));
  if (i % 3 == 1) {
    s.SetImage(row, 0);
    s.Notice("Station " + std::to_string(i) + " failed", "HTTP error");
    s.Ui().Beep();
  }
  if (i % 4 == 2) {
    BaseStationRecord silent{};
    silent.address = i % 8 == 2 ? 0u : 0xFFFFFFFFu;
    std::snprintf(silent.addressText, sizeof silent.addressText, "silent-%zu", i);
    EXPECT_TRUE(s.CheckPresence(silent));
  }
  s.SetText(row, 2, std::this_thread::get_id() == formThread ? "form" : "worker");
  s.State().eepromPage = static_cast<int16_t>(i);
}

TEST_F(FleetRunTest, ManyAtOnceGiveTheListOfOneAtATime) {
  struct Case {
    int jobs;
    std::size_t stations;
  };
  const Case cases[] = {{2, 7}, {4, 12}, {64, 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE("jobs " + std::to_string(c.jobs) + ", stations " + std::to_string(c.stations));
    auto run = [&](int jobs) {
      form->outputList().DeleteAllRows();
      trace.clear();
      ui.ClearRecords();
      form->directory().ClearSilent();
      qelta::fleet::SetJobsOverride(form->fleet, jobs);
      const int progress = form->AddOutputRow("Progress", "", 2);
      {
        FleetRun fleet(*host, Names(c.stations));
        EXPECT_EQ(fleet.Jobs(), std::min<int>(jobs, static_cast<int>(c.stations)));
        EXPECT_TRUE(
            fleet.Phase([this, progress](StationHandle& s) { Station(s, progress, formThread); }));
      }
      form->directory().ReportSilent("(test)");
      std::vector<std::string> messages;
      for (const auto& m : ui.Messages()) messages.push_back(m.caption + ": " + m.text);
      return std::make_tuple(trace, messages, ui.Beeps(), form->eepromPage);
    };
    auto one = run(1);
    auto many = run(c.jobs);
    auto strip = [](std::vector<std::string> t) {
      for (auto& line : t) {
        for (const char* where : {"|form|", "|worker|"}) {
          const auto at = line.find(where);
          if (at != std::string::npos) line.replace(at, std::string(where).size(), "|where|");
        }
      }
      return t;
    };
    EXPECT_EQ(strip(std::get<0>(one)), strip(std::get<0>(many)));
    EXPECT_EQ(std::get<1>(one), std::get<1>(many));
    EXPECT_EQ(std::get<2>(one), std::get<2>(many));
    EXPECT_EQ(std::get<3>(one), std::get<3>(many));
    // The silent stations were reported once each, in list order.
    const auto& lines = std::get<0>(many);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                              return l[0] == '+' && l.find("No answer (test)") != l.npos;
                            }),
              c.stations > 6 ? 2 : 1);
    // And it did run on workers.
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.find("|worker|") != l.npos; }),
              lines.end());
  }
}

TEST_F(FleetRunTest, CancelStartsNoFurtherStationAndNamesEveryStationNotDone) {
  // The cancel comes in the phase the case's stations run in (the first, or the second after a
  // first that the command left out); phases may follow it.
  struct Case {
    int jobs;
    std::vector<std::string> names;  // the run's phases; all unnamed when these are empty
    int phases;
    bool skipFirst;
    std::size_t cancelAfter;  // stations done when the monitor asks
    const char* doneRow;      // the cancel row of a station that ended the phase, or none
  };
  const std::vector<std::string> defaults = {"module settings", "EEPROM", "radio type"};
  // clang-format off
  const Case cases[] = {
      {1, {}, 1, false, 3, nullptr},
      {4, {}, 1, false, 3, nullptr},
      {1, {}, 2, false, 2, "Not started (cancelled)"},
      {4, {}, 2, false, 5, "Not started (cancelled)"},
      {1, defaults, 3, false, 2, "Not done (cancelled): EEPROM, radio type"},
      {4, defaults, 3, false, 5, "Not done (cancelled): EEPROM, radio type"},
      {4, {"first", "second"}, 2, true, 5, "Not done (cancelled): first"},
      {1, {"first", "second", "third"}, 3, true, 2, "Not done (cancelled): first, third"},
  };
  // clang-format on
  const std::size_t n = 20;
  for (const Case& c : cases) {
    SCOPED_TRACE("jobs " + std::to_string(c.jobs) + ", phases " + std::to_string(c.phases) +
                 (c.names.empty() ? "" : " named") + (c.skipFirst ? ", first left out" : ""));
    form->outputList().DeleteAllRows();
    qelta::fleet::SetJobsOverride(form->fleet, c.jobs);
    CancellingMonitor monitor(c.cancelAfter);
    qelta::fleet::SetMonitor(form->fleet, &monitor);
    std::atomic<std::size_t> started{0};
    bool later = false;
    {
      const std::vector<BaseStationRecord> names = Names(n);
      std::unique_ptr<FleetRun> fleet =
          c.names.empty() ? std::make_unique<FleetRun>(*host, names.data(), n, c.phases)
                          : std::make_unique<FleetRun>(*host, names.data(), n, c.names);
      if (c.skipFirst) fleet->SkipPhase();
      const bool first = fleet->Phase([&started](StationHandle& s) {
        ++started;
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        s.AddRow("Done", std::to_string(s.Index()), 1);
      });
      EXPECT_FALSE(first);
      for (int p = c.skipFirst ? 2 : 1; p < c.phases; ++p)
        later = fleet->Phase([](StationHandle& s) { s.AddRow("x", "", 1); }) || later;
      EXPECT_TRUE(fleet->Cancelled());
    }
    qelta::fleet::SetMonitor(form->fleet, nullptr);
    EXPECT_FALSE(later);

    const auto& rows = form->outputList().Rows();
    std::size_t done = 0;
    std::vector<const OutputRow*> cancelRows;
    for (const OutputRow& r : rows) {
      if (r.text[0] == "Done") {
        // Done rows come first, in list order, one per started station.
        EXPECT_EQ(r.text[1], std::to_string(done));
        EXPECT_TRUE(cancelRows.empty());
        ++done;
      } else {
        EXPECT_EQ(r.image, 0);
        EXPECT_EQ(r.kind, qelta::RowKind::Failure);
        cancelRows.push_back(&r);
      }
    }
    // Every station that started finished with its rows; the others never started.
    EXPECT_EQ(done, started.load());
    EXPECT_GE(done, c.cancelAfter);
    EXPECT_LT(done, n);
    // One at a time stops right where it was asked.
    if (c.jobs == 1) {
      EXPECT_EQ(done, c.cancelAfter);
    }
    // One row per station not done, in list order: a station that ended the phase says what it
    // did not do when phases follow (and has no row when none does), the others did nothing.
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < n; ++i) {
      if (i >= done) {
        expected.push_back(std::string("Not started (cancelled)|10.0.0.") + std::to_string(i + 1));
      } else if (c.doneRow) {
        expected.push_back(std::string(c.doneRow) + "|10.0.0." + std::to_string(i + 1));
      }
    }
    std::vector<std::string> seen;
    for (const OutputRow* r : cancelRows) seen.push_back(r->text[0] + "|" + r->text[1]);
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(monitor.last.cancelled);
  }
}

// Asks to cancel as soon as the given phase begins.
class PhaseCancellingMonitor : public FleetMonitor {
 public:
  explicit PhaseCancellingMonitor(int phase) : phase_(phase) {}
  void Progress(const FleetProgress& p) override {
    if (p.phase >= phase_) asked = true;
  }
  bool CancelRequested() override { return asked; }
  bool asked = false;

 private:
  int phase_;
};

TEST_F(FleetRunTest, ASettleWaitCountsFromEachStationsOwnEndOfThePhaseBefore) {
  using Clock = std::chrono::steady_clock;
  using namespace std::chrono_literals;
  struct Case {
    int jobs;
    bool earlyStationsGoFirst;  // stations that ended early need not wait for the last one
  };
  const Case cases[] = {{1, false}, {4, true}};
  const std::size_t n = 8;
  const auto wait = 300ms;
  for (const Case& c : cases) {
    SCOPED_TRACE("jobs " + std::to_string(c.jobs));
    qelta::fleet::SetJobsOverride(form->fleet, c.jobs);
    std::vector<Clock::time_point> ended(n), started(n);
    {
      FleetRun fleet(*host, Names(n), 2);
      // The later in the list, the longer the first phase takes: the last station ends last.
      ASSERT_TRUE(fleet.Phase([&ended](StationHandle& s) {
        const std::size_t i = s.Index();
        std::this_thread::sleep_for(std::chrono::milliseconds(i < n - 1 ? 10 : 600));
        ended[i] = Clock::now();
      }));
      fleet.SettleBeforeNextPhase(wait);
      ASSERT_TRUE(fleet.Phase([&started](StationHandle& s) {
        started[s.Index()] = Clock::now();
        s.AddRow("Settled", std::to_string(s.Index()), 1);
      }));
    }
    for (std::size_t i = 0; i < n; ++i) {
      SCOPED_TRACE("station " + std::to_string(i));
      EXPECT_GE(started[i] - ended[i], wait);
    }
    const Clock::time_point lastEnd = *std::max_element(ended.begin(), ended.end());
    // A station that ended 590 ms before the last one starts before the last one's wait is over.
    EXPECT_EQ(started[0] < lastEnd + wait, c.earlyStationsGoFirst);
  }
}

TEST_F(FleetRunTest, ACancelWhileStationsSettleStartsNoneOfThem) {
  using namespace std::chrono_literals;
  // Every station did the first phase: its row names the second when the phases have names.
  struct Case {
    int jobs;
    std::vector<std::string> names;
    const char* row;
  };
  const Case cases[] = {
      {3, {}, "Not started (cancelled)"},
      {3, {"EEPROM", "radio type"}, "Not done (cancelled): radio type"},
      {1, {"EEPROM", "radio type"}, "Not done (cancelled): radio type"},
  };
  const std::size_t n = 6;
  for (const Case& c : cases) {
    SCOPED_TRACE("jobs " + std::to_string(c.jobs) + ": " + c.row);
    form->outputList().DeleteAllRows();
    qelta::fleet::SetJobsOverride(form->fleet, c.jobs);
    PhaseCancellingMonitor monitor(2);
    qelta::fleet::SetMonitor(form->fleet, &monitor);
    std::atomic<int> secondPhaseStations{0};
    const auto t0 = std::chrono::steady_clock::now();
    bool second = true;
    {
      const std::vector<BaseStationRecord> names = Names(n);
      std::unique_ptr<FleetRun> fleet =
          c.names.empty() ? std::make_unique<FleetRun>(*host, names.data(), n, 2)
                          : std::make_unique<FleetRun>(*host, names.data(), n, c.names);
      ASSERT_TRUE(
          fleet->Phase([](StationHandle& s) { s.AddRow("First", std::to_string(s.Index()), 1); }));
      // Several at once the cancel cuts the wait short; one at a time it is waited here and now.
      fleet->SettleBeforeNextPhase(c.jobs > 1 ? 60s : 10ms);
      second = fleet->Phase([&secondPhaseStations](StationHandle&) { ++secondPhaseStations; });
    }
    qelta::fleet::SetMonitor(form->fleet, nullptr);
    EXPECT_FALSE(second);
    EXPECT_EQ(secondPhaseStations.load(), 0);
    // The cancel did not sit out the minute's wait.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 30s);
    std::size_t cancelled = 0;
    for (const OutputRow& r : form->outputList().Rows()) cancelled += r.text[0] == c.row ? 1 : 0;
    EXPECT_EQ(cancelled, n);
  }
}

std::size_t OwnStackSize() {
  pthread_attr_t attr;
  std::size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
  }
  return size;
}

TEST_F(FleetRunTest, WorkersStayForTheRunsLaterPhasesAndLetEachStationsTunnelGo) {
  // A listener in place of the stations' tunnels: every connection a station opens must be closed
  // when the station's work ends, while the workers (and their link objects) stay.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 16), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

  const std::size_t n = 2;
  const int phases = 3;
  qelta::fleet::SetJobsOverride(form->fleet, 2);
  std::mutex m;
  std::vector<int> stationsOnThread;  // per station: how many this thread had done before
  std::vector<std::size_t> stacks;
  std::size_t standardStack = 0;
  std::thread([&standardStack] { standardStack = OwnStackSize(); }).join();
  {
    FleetRun fleet(*host, Names(n), phases);
    for (int phase = 0; phase < phases; ++phase) {
      SCOPED_TRACE("phase " + std::to_string(phase + 1));
      ASSERT_TRUE(fleet.Phase([&](StationHandle& s) {
        thread_local int done = 0;
        EXPECT_EQ(s.Link().ConnectTCP(address.sin_addr.s_addr, ntohs(address.sin_port)), 0u);
        std::lock_guard<std::mutex> hold(m);
        stationsOnThread.push_back(done++);
        stacks.push_back(OwnStackSize());
      }));
      for (std::size_t i = 0; i < n; ++i) {
        const int peer = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(peer, 0);
        pollfd p{peer, POLLIN, 0};
        char byte;
        // Closed with the station's end: long before the end of the run (the bound only allows
        // for a loaded machine's delay in delivering the close).
        EXPECT_EQ(::poll(&p, 1, 5000), 1);
        EXPECT_EQ(::recv(peer, &byte, 1, MSG_DONTWAIT), 0);
        ::close(peer);
      }
    }
  }
  ::close(listener);
  // Six stations on two threads: one of them did at least three, which a thread per phase could
  // not have done.
  ASSERT_EQ(stationsOnThread.size(), n * phases);
  EXPECT_GE(*std::max_element(stationsOnThread.begin(), stationsOnThread.end()), 2);
  for (const std::size_t stack : stacks) EXPECT_LT(stack, standardStack);
}

TEST(FleetSettingsTest, StationsAtOnceComeFromTheSettingWithinOneToSixtyFour) {
  struct Case {
    const char* stored;  // settings line, or empty for none
    int override;
    int jobs;
  };
  const Case cases[] = {
      {"", 0, 1},
      {"ParallelStations=number:8", 0, 8},
      {"ParallelStations=number:0", 0, 1},
      {"ParallelStations=number:100", 0, 64},
      {"ParallelStations=number:4294967295", 0, 1},
      {"ParallelStations=text:8", 0, 1},
      {"ParallelStations=number:8", 3, 3},
      {"", 200, 64},
  };
  const char* inside = std::getenv("QELTA_NETNS");
  ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
  std::string pattern = (fs::temp_directory_path() / "qelta-jobs-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string root = pattern;
  NoBrowser browser;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " / " + std::to_string(c.override));
    const std::string settings = root + "/settings.conf";
    {
      std::ofstream out(settings, std::ios::trunc);
      out << c.stored << "\n";
    }
    qelta::ScriptedUi ui;
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = settings;
    env.workingFolder.exePath = root + "/qeltaconfig";
    env.changeDirectory = false;
    CQeltaConfigView view(ui, env);
    qelta::fleet::SetJobsOverride(view.fleet, c.override);
    EXPECT_EQ(qelta::fleet::JobsFor(view.fleet, view.settings()), c.jobs);
    // Reading it leaves the file as it was.
    std::ifstream in(settings);
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, c.stored);
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

TEST(FleetFilesTest, AStationsAnswerFileCarriesItsSuffixBeforeTheExtension) {
  struct Case {
    const char* name;
    const char* suffix;
    const char* expected;
  };
  const Case cases[] = {
      {"default_setup.html", "127.0.0.5", "default_setup_127.0.0.5.html"},
      {"reboot_headers.txt", "10.1.2.3-4", "reboot_headers_10.1.2.3-4.txt"},
      {"noextension", "127.0.0.2", "noextension_127.0.0.2"},
      {".hidden", "127.0.0.2", ".hidden_127.0.0.2"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qelta::fleet::SuffixedFileName(c.name, c.suffix), c.expected);
}

}  // namespace

// The station handle: what one station's work has is its own. Stations worked on at once never
// share a link object or an HTTP session; one at a time they use the form's link. The form's state
// a station starts from, and the moment its changes reach the form, are the one-at-a-time run's.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <barrier>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/StationRuns.h"
#include "fleet/FleetRun.h"
#include "network/CurlGlobal.h"
#include "network/WebClient.h"
#include "params/ParamsState.h"
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

// A listening TCP socket on the loopback address, standing in for a station's tunnel.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 8);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { ::close(fd_); }
  uint16_t Port() const { return port_; }
  // Connections waiting to be accepted, each accepted and closed.
  int Accepted() {
    int count = 0;
    for (int peer; (peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; ++count)
      ::close(peer);
    return count;
  }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

class StationHandleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-handle-XXXXXX").string();
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
  }
  void TearDown() override {
    host.reset();
    form.reset();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  static std::vector<BaseStationRecord> Stations(std::size_t n) {
    std::vector<BaseStationRecord> stations(n);
    for (std::size_t i = 0; i < n; ++i)
      std::snprintf(stations[i].addressText, sizeof stations[i].addressText, "10.0.0.%zu", i + 1);
    return stations;
  }

  std::string root;
  NoBrowser browser;
  qelta::ScriptedUi ui;
  std::unique_ptr<CQeltaConfigView> form;
  std::unique_ptr<FormRunHost> host;
};

// Every station sets a cookie of its own through its session, waits until all stations have, and
// asks the server back: a session shared with another station would carry that station's cookie.
// Each station's link connects to a tunnel of its own meanwhile.
TEST_F(StationHandleTest, StationsAtOnceHaveLinksAndSessionsOfTheirOwn) {
  qelta::network::CurlUse curl;
  httplib::Server server;
  server.Get("/set", [](const httplib::Request& request, httplib::Response& response) {
    response.set_header("Set-Cookie", "who=" + request.get_param_value("who") + "; Path=/");
    response.set_content("set", "text/plain");
  });
  server.Get("/echo", [](const httplib::Request& request, httplib::Response& response) {
    response.set_content(request.get_header_value("Cookie"), "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&server] { server.listen_after_bind(); });

  for (const std::size_t n : {std::size_t{2}, std::size_t{5}}) {
    SCOPED_TRACE(std::to_string(n) + " at once");
    std::vector<Listener> tunnels(n);
    std::vector<const void*> links(n), sessions(n);
    std::vector<std::string> echoed(n);
    std::barrier allStarted(static_cast<std::ptrdiff_t>(n));
    qelta::fleet::SetJobsOverride(form->fleet, static_cast<int>(n));
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    {
      FleetRun run(*host, Stations(n));
      ASSERT_EQ(run.Jobs(), static_cast<int>(n));
      EXPECT_TRUE(run.Phase([&](StationHandle& s) {
        const std::size_t i = s.Index();
        links[i] = &s.Link();
        sessions[i] = &s.Web();
        EXPECT_TRUE(s.Web().Get(base + "/set?who=" + std::to_string(i), nullptr).Ok());
        EXPECT_EQ(s.Link().ConnectTCP(htonl(INADDR_LOOPBACK), tunnels[i].Port()), 0u);
        // Every station is in its work now: none of them can have been given another's session.
        allStarted.arrive_and_wait();
        FILE* answer = s.AnswerFile("echo.txt");
        ASSERT_NE(answer, nullptr);
        EXPECT_TRUE(s.Web().Get(base + "/echo", answer).Ok());
        std::rewind(answer);
        char text[64] = {};
        echoed[i] = std::fgets(text, sizeof text, answer) ? text : "";
      }));
    }
    for (std::size_t i = 0; i < n; ++i) {
      SCOPED_TRACE("station " + std::to_string(i));
      EXPECT_EQ(echoed[i], "who=" + std::to_string(i));
      EXPECT_EQ(tunnels[i].Accepted(), 1) << "the station's link reached its own tunnel only";
      EXPECT_NE(links[i], &form->link());
      // Its answer file carries its address.
      EXPECT_TRUE(fs::exists(form->programDir + "echo_10.0.0." + std::to_string(i + 1) + ".txt"));
    }
    EXPECT_EQ(std::set<const void*>(links.begin(), links.end()).size(), n);
    EXPECT_EQ(std::set<const void*>(sessions.begin(), sessions.end()).size(), n);
  }
  server.stop();
  serving.join();
}

// Watches the form each time the runner has handed stations to it: its EEPROM page and the rows
// the stations added.
class FormWatch : public FleetMonitor {
 public:
  explicit FormWatch(const CQeltaConfigView& form) : form_(form) {}
  void Progress(const FleetProgress& p) override {
    if (p.done == 0) return;
    std::string rows;
    for (const OutputRow& r : form_.outputList().Rows())
      if (r.text[0] == "Station") rows += r.text[1];
    seen.push_back({p.done, form_.eepromPage, rows});
  }
  struct Seen {
    std::size_t done;
    int page;
    std::string rows;  // the stations' numbers, in the order of their rows
  };
  std::vector<Seen> seen;

 private:
  const CQeltaConfigView& form_;
};

TEST_F(StationHandleTest, AStationStartsFromTheFormsStateAndHandsItsRowsAndChangesBackInItsTurn) {
  struct Case {
    int jobs;
    bool seesEarlierStations;  // one at a time, a station starts from the state the last one left
  };
  const Case cases[] = {{1, true}, {4, false}};
  const std::size_t n = 6;
  for (const Case& c : cases) {
    SCOPED_TRACE("jobs " + std::to_string(c.jobs));
    form->params->functionKeys = {};
    form->eepromPage = 0;
    qelta::fleet::SetJobsOverride(form->fleet, c.jobs);
    form->outputList().DeleteAllRows();
    FormWatch watch(*form);
    qelta::fleet::SetMonitor(form->fleet, &watch);
    std::vector<int32_t> seen(n, -1);
    const std::thread::id formThread = std::this_thread::get_id();
    std::vector<char> onFormsLink(n, 0);  // one byte per station: workers write them at once
    {
      FleetRun run(*host, Stations(n));
      ASSERT_TRUE(run.Phase([&](StationHandle& s) {
        const std::size_t i = s.Index();
        // Later stations take longer: the workers end out of list order.
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * static_cast<int>(n - i)));
        s.AddRow("Station", std::to_string(i), 1);
        seen[i] = s.State().functionKeys[0].send;
        s.State().functionKeys[0].send = static_cast<int32_t>(i + 1);
        s.State().eepromPage = static_cast<int16_t>(100 + i);
        onFormsLink[i] = &s.Link() == &form->link();
        EXPECT_EQ(std::this_thread::get_id() == formThread, c.jobs == 1);
      }));
    }
    qelta::fleet::SetMonitor(form->fleet, nullptr);
    for (std::size_t i = 0; i < n; ++i) {
      SCOPED_TRACE("station " + std::to_string(i));
      EXPECT_EQ(seen[i], c.seesEarlierStations ? static_cast<int32_t>(i) : 0);
      EXPECT_EQ(onFormsLink[i] != 0, c.jobs == 1);
    }
    // Each time the form shows stations done, it holds the rows of those stations in list order,
    // none of a later one's, and the page of the last of them.
    ASSERT_FALSE(watch.seen.empty());
    std::string all;
    for (std::size_t i = 0; i < n; ++i) all += std::to_string(i);
    for (const FormWatch::Seen& w : watch.seen) {
      SCOPED_TRACE(std::to_string(w.done) + " done");
      EXPECT_EQ(w.rows, all.substr(0, w.done));
      EXPECT_EQ(w.page, 100 + static_cast<int>(w.done) - 1);
    }
    EXPECT_EQ(form->params->functionKeys[0].send, static_cast<int32_t>(n));
  }
}

}  // namespace

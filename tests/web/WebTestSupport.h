// The web suites' bench: simulated modules (discovery and web interface) on 127.0.0.x inside the
// test's private network namespace, a main form on the scripted UI port whose list shows them,
// and a listener on the modules' group that keeps every datagram sent there.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../network/NetworkTestSupport.h"
#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "module/WebInterface.h"
#include "network/WebClient.h"
#include "ui/ScriptedUi.h"

namespace qelta::network::test {

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {ENOENT, ENOENT, ""}; }
};

// Every datagram sent to 224.0.5.128:2362.
class GroupListener {
 public:
  GroupListener() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(2362);
    a.sin_addr.s_addr = inet_addr("224.0.5.128");
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ip_mreq join{};
    join.imr_multiaddr.s_addr = inet_addr("224.0.5.128");
    join.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = ok_ && ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
  }
  ~GroupListener() { ::close(fd_); }
  bool Ok() const { return ok_; }
  // The datagrams that arrive within ms, discovery requests (type 1) left out.
  std::vector<std::vector<uint8_t>> Collect(int ms) {
    std::vector<std::vector<uint8_t>> out;
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, ms) > 0) {
      uint8_t buffer[512];
      const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      if (n >= 6 && buffer[4] == 0 && buffer[5] == 1) continue;
      out.emplace_back(buffer, buffer + n);
    }
    return out;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

struct StationSpec {
  bool hasMac = true;
  bool web = true;  // false: nothing listens on port 80 (refused)
  bool webSilent = false;
  int forcedStatus = 0;
  std::string password = "kqzv";
};

class WebBench : public ::testing::Test {
 protected:
  void SetUp() override {
    RequireNamespace();
    std::string templ = (std::filesystem::temp_directory_path() / "qelta-web-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root = templ;
    std::filesystem::create_directories(root + "/bin");
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    // Short limits: the silent module must not hold a test for long.
    SetWebTimeouts({2000, 1000, 4000});
  }
  void TearDown() override {
    form.reset();
    for (auto& w : web) {
      if (w) w->Stop();
    }
    host.Stop();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  // Modules i = 0.. at 127.0.0.(2+i), their web interfaces on port 80, the form's list showing
  // them (discovery stopped so that the table stays as the test left it). A failure here ends only
  // this function: tests call it in ASSERT_NO_FATAL_FAILURE, so that a bench that could not start
  // ends the test instead of leaving it to run on without a form.
  void Start(const std::vector<StationSpec>& specs) {
    for (size_t i = 0; i < specs.size(); ++i) {
      sim::ModuleOptions o;
      o.identity = sim::SampleIdentity(i);
      o.identity.hasMac = specs[i].hasMac;
      o.restartMs = 300;
      host.AddModule(o);
      web.emplace_back();
      if (!specs[i].web) continue;
      sim::WebInterfaceOptions w;
      w.address = o.identity.address;
      w.password = specs[i].password;
      w.silent = specs[i].webSilent;
      w.forcedStatus = specs[i].forcedStatus;
      w.restartMs = 300;
      web.back() = std::make_unique<sim::ModuleWebServer>(w);
      std::string error;
      ASSERT_TRUE(web.back()->Start(&error)) << error;
      web.back()->SetRebootHook([this, i] { host.RestartModule(i); });
    }
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;

    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    form = CreateMainForm(ui, env);
    form->InitialiseForm();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (TableCount() < specs.size() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(TableCount(), specs.size());
    StopDiscovery(*form);
    // Rows in module order.
    BaseStationList& table = form->directory().Table();
    std::sort(table.records.begin(), table.records.begin() + table.count,
              [](const BaseStationRecord& a, const BaseStationRecord& b) {
                return ntohl(a.address) < ntohl(b.address);
              });
    form->outputList().DeleteAllRows();
    for (uint32_t i = 0; i < table.count; ++i) {
      const int row =
          form->outputList().AddRow(BaseStationRowName(table.records[i]),
                                    BaseStationRowValue(table.records[i]), ids::kImageBaseStation);
      form->outputList().SetItem(row, &table.records[i]);
    }
    form->listShowsBaseStations = true;
    ui.ClearRecords();  // what the form said while starting is not the test's business
  }

  uint32_t TableCount() {
    NamedMutexGuard hold(form->directory().ListLock(), 1000);
    return form->directory().Table().count;
  }
  BaseStationRecord* Station(size_t i) { return &form->directory().Table().records[i]; }
  void Select(std::vector<int> rows) {
    OutputList& list = form->outputList();
    for (int r = 0; r < list.RowCount(); ++r) list.SetSelected(r, false);
    for (int r : rows) {
      list.SetSelected(r, true);
      list.SetSelectionMark(r);
    }
    form->selectedBaseStation = rows.size() == 1 ? list.Row(rows[0]).item : nullptr;
  }

  // "method target body" of every request a module received.
  std::vector<std::string> Trace(size_t i) {
    std::vector<std::string> out;
    for (const auto& r : web[i]->Requests())
      out.push_back(r.method + " " + r.target + " " + r.body);
    return out;
  }

  std::string File(const std::string& name) {
    std::ifstream in(form->programDir + name);
    if (!in) return "<missing>";
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  size_t CfgFiles() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(form->programDir))
      if (e.path().extension() == ".cfg") ++n;
    return n;
  }

  const std::vector<OutputRow>& Rows() { return form->outputList().Rows(); }
  std::string RowsText() {
    std::string s;
    for (const auto& r : Rows())
      s += r.text[0] + " | " + r.text[1] + " | " + r.text[2] + " | " + std::to_string(r.image) +
           "\n";
    return s;
  }

  std::string root;
  NoBrowser browser;
  qelta::ScriptedUi ui;
  sim::ModuleHost host;
  std::vector<std::unique_ptr<sim::ModuleWebServer>> web;
  std::unique_ptr<CQeltaConfigView> form;
};

}  // namespace qelta::network::test

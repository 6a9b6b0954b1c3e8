// Every multi-station command against the same mix of simulated stations (good, silent probe,
// refused tunnel, slow line and slow web, failing web, hung web), once one station at a time and
// once eight at once, each time from a fresh start: the rows (times aside), message boxes, device
// memories, module forms, stored settings and the station list's report must be the same.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "app/WebOperations.h"
#include "core/SettingsStore.h"
#include "device/SimDevice.h"
#include "fleet/FleetSettings.h"
#include "module/SimulatedModule.h"
#include "module/WebInterface.h"
#include "network/WebClient.h"
#include "ui/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/testbrowser %u"}; }
};

enum class Kind { kGood, kSilent, kRefused, kSlow, kWebFails, kWebHung, kNoMac };

// The mix, in list order.
const Kind kStations[] = {Kind::kGood,     Kind::kSlow,    Kind::kSilent, Kind::kRefused,
                          Kind::kWebFails, Kind::kWebHung, Kind::kNoMac,  Kind::kSlow};

const char* kConfigFile =
    "// defaults for the test\n"
    "DATABLOCK:30\n"
    "1, 2, 0x1F, 300, 'AB',\n"
    "DATABLOCK_END:\n"
    "SET_BLOCK:50:6:9\n"
    "SYSTEM:12:1\n"
    "END:\n";

// What one run left behind.
struct Outcome {
  std::vector<std::string> rows;
  std::vector<std::string> messages;
  int beeps = 0;
  std::vector<std::vector<uint8_t>> memories;
  std::vector<std::string> modules;  // each module's web requests and settings
  std::vector<std::string> printed;  // what a command run by function answered
  std::string settings;
  std::vector<std::string> files;  // the answer files left in the working folder
  std::string report;              // "bsview.txt" when the list was viewed, its times aside
  std::chrono::milliseconds took{0};
};

struct Command {
  const char* name;
  int command;
  bool production;
  std::size_t minRows;  // rows the run leaves at least (a reboot empties the list each time)
  // Answers the command's dialogs ask for, queued before it runs.
  std::function<void(qelta::ScriptedUi&, const std::string& root)> answers;
  // Runs the command instead of its id and answers what it printed after its rows; the modules
  // of every other station hold the default settings before it runs.
  std::function<std::vector<std::string>(CQeltaConfigView&)> run = nullptr;
  // Settings stored before the form starts, besides the modes.
  std::vector<std::pair<const char*, int>> settings = {};
};

// What the default Ethernet settings leave on a simulated module.
qelta::sim::WebModuleSettings DefaultWebSettings() {
  qelta::sim::WebModuleSettings s;
  s.portProfile = 9;
  s.portDescription = "Default serial";
  s.dhcp = true;
  const int functions[5] = {2, 3, 2, 3, 2};
  for (int pin = 0; pin < 5; ++pin) s.gpioFunction[pin] = functions[pin];
  s.tcpForwarding = {{"tcp_forward_state", "on"},       {"tcp_forward_on_idle", "on"},
                     {"tcp_forward_idle_timeout", "5"}, {"tcp_forward_bytes", "300"},
                     {"tcp_idle_timeout_state", "on"},  {"tcp_idle_timeout", "60"}};
  return s;
}

class FleetEquivalenceTest : public ::testing::TestWithParam<Command> {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-equal-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    // Short limits: the hung web interface costs about a second per request.
    qelta::network::SetWebTimeouts({1000, 1000, 3000});
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  Outcome Run(int jobs) {
    Outcome o;
    // The same paths every run, so that stored paths compare.
    std::error_code ignored;
    fs::remove_all(root + "/run", ignored);
    fs::create_directories(root + "/run/bin");
    { std::ofstream(root + "/run/defaults.pcg") << kConfigFile; }
    const std::string settingsFile = root + "/run/QeltaConfigurator.conf";
    {
      SettingsStore store(RealFileAccess(), settingsFile);
      EXPECT_EQ(store.Create(), 0);
      EXPECT_EQ(store.WriteNumber("UIService", 1), 0);
      EXPECT_EQ(store.WriteNumber("UIProduction", GetParam().production ? 1 : 0), 0);
      EXPECT_EQ(store.WriteNumber("LastRadioUsed", 2), 0);
      for (const auto& [name, value] : GetParam().settings)
        EXPECT_EQ(store.WriteNumber(name, value), 0);
    }

    qelta::sim::ModuleHost host;
    std::vector<std::shared_ptr<qelta::sim::SimDevice>> devices;
    std::vector<std::unique_ptr<qelta::sim::ModuleWebServer>> web;
    const std::size_t n = std::size(kStations);
    for (std::size_t i = 0; i < n; ++i) {
      const Kind kind = kStations[i];
      qelta::sim::ModuleOptions m;
      m.identity = qelta::sim::SampleIdentity(i);
      m.identity.hasMac = kind != Kind::kNoMac && kind != Kind::kWebFails;
      m.tcpRefused = kind == Kind::kRefused;
      m.restartMs = 300;
      m.forwardIdleMs = 5;  // a paced answer reaches the client whole, as from a real module
      qelta::sim::DeviceIdentity id;
      id.type = qelta::sim::kTypeBaseStation;
      id.id = static_cast<uint16_t>(200 + i);
      m.baseStation = std::make_shared<qelta::sim::SimDevice>(id);
      m.baseStation->WithMemory([i](qelta::sim::DeviceMemory& memory) {
        auto page0 = memory.Area(qelta::sim::MemoryArea::kPage0);
        page0[13] = 3;
        // Half the stations hold part of the configuration file already.
        if (i % 2 == 0) std::fill(page0.begin() + 50, page0.begin() + 56, 9);
      });
      if (kind == Kind::kSlow) {
        qelta::sim::TimingKnobs timing;
        timing.baud = 19200;
        timing.answer_delay = 10ms;
        m.baseStation->SetTiming(timing);
      }
      devices.push_back(m.baseStation);
      host.AddModule(m);
      web.emplace_back();
      if (kind == Kind::kWebFails) continue;  // nothing listens on port 80
      qelta::sim::WebInterfaceOptions w;
      w.address = m.identity.address;
      w.silent = kind == Kind::kWebHung;
      w.answerDelayMs = kind == Kind::kSlow ? 30 : 0;
      w.restartMs = 300;
      w.threads = 2;
      web.back() = std::make_unique<qelta::sim::ModuleWebServer>(w);
      std::string error;
      EXPECT_TRUE(web.back()->Start(&error)) << error;
      web.back()->SetRebootHook([&host, i] { host.RestartModule(i); });
      if (GetParam().run && i % 2 == 0) web.back()->SetSettings(DefaultWebSettings());
    }
    std::string error;
    EXPECT_TRUE(host.Start(&error)) << error;

    qelta::ScriptedUi ui;
    NoBrowser browser;
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = settingsFile;
    env.workingFolder.exePath = root + "/run/bin/qeltaconfig";
    env.changeDirectory = false;
    auto form = CreateMainForm(ui, env);
    form->InitialiseForm();
    ui.RunPostedTasks();
    auto tableCount = [&] {
      qelta::network::NamedMutexGuard hold(form->directory().ListLock(), 1000);
      return form->directory().Table().count;
    };
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (tableCount() < n && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(20ms);
    EXPECT_EQ(tableCount(), n);
    qelta::network::StopDiscovery(*form);
    // The list in module order, every station selected; then the silent one stops answering.
    qelta::network::BaseStationList& table = form->directory().Table();
    std::sort(table.records.begin(), table.records.begin() + table.count,
              [](const BaseStationRecord& a, const BaseStationRecord& b) {
                return ntohl(a.address) < ntohl(b.address);
              });
    OutputList& list = form->outputList();
    list.DeleteAllRows();
    for (uint32_t i = 0; i < table.count; ++i) {
      const int row = list.AddRow(qelta::network::BaseStationRowName(table.records[i]),
                                  qelta::network::BaseStationRowValue(table.records[i]), 4);
      list.SetItem(row, &table.records[i]);
      list.SetSelected(row, true);
    }
    form->listShowsBaseStations = true;
    form->OnListClick();
    for (std::size_t i = 0; i < n; ++i)
      if (kStations[i] == Kind::kSilent) host.SetSilent(i, true);
    ui.ClearRecords();

    qelta::fleet::SetJobsOverride(form->fleet, jobs);
    GetParam().answers(ui, root + "/run");
    const auto start = std::chrono::steady_clock::now();
    if (GetParam().run) {
      o.printed = GetParam().run(*form);
    } else {
      EXPECT_TRUE(form->RunCommand(GetParam().command));
    }
    o.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);

    for (const OutputRow& r : list.Rows()) {
      std::string name = r.text[0];
      std::string more = r.text[2];
      // Measured times differ from run to run.
      if (name.rfind("Time: ", 0) == 0) name = "Time: m:s";
      if (more.rfind("Avg. ", 0) == 0) more = "Avg.";
      o.rows.push_back(name + " | " + r.text[1] + " | " + more + " | " + std::to_string(r.image));
    }
    for (const auto& m : ui.Messages()) o.messages.push_back(m.caption + ": " + m.text);
    o.beeps = ui.Beeps();
    form.reset();
    // Writes that went out last reach the devices a moment later.
    std::this_thread::sleep_for(300ms);
    for (auto& w : web)
      if (w) w->Stop();
    host.Stop();
    for (std::size_t i = 0; i < n; ++i) {
      o.memories.push_back(devices[i]->Page(0));
      std::string trace;
      if (web[i]) {
        for (const auto& r : web[i]->Requests())
          trace += r.method + " " + r.target + " " + r.body + " " + std::to_string(r.status) + "\n";
        const auto s = web[i]->Settings();
        trace += s.description + "/" + s.baud + "/" + std::to_string(s.portProfile) + "/" +
                 (s.dhcp ? "dhcp" : "fixed") + "/" + std::to_string(web[i]->Reboots());
      }
      o.modules.push_back(trace);
    }
    std::ifstream in(settingsFile);
    std::stringstream text;
    text << in.rdbuf();
    o.settings = text.str();
    for (const auto& e : fs::directory_iterator(root + "/run/bin"))
      o.files.push_back(e.path().filename().string());
    std::sort(o.files.begin(), o.files.end());
    std::ifstream view(root + "/run/bin/bsview.txt");
    for (std::string line; std::getline(view, line);)
      if (line.rfind("Start view on ", 0) != 0 && line.rfind("End view ", 0) != 0)
        o.report += line + "\n";
    return o;
  }

  std::string root;
};

TEST_P(FleetEquivalenceTest, EightAtOnceLeaveWhatOneAtATimeLeaves) {
  const Outcome one = Run(1);
  const Outcome eight = Run(8);
  std::cout << GetParam().name << ": one at a time " << one.took.count() << " ms, eight at once "
            << eight.took.count() << " ms\n";
  EXPECT_EQ(one.rows, eight.rows);
  EXPECT_EQ(one.messages, eight.messages);
  EXPECT_EQ(one.beeps, eight.beeps);
  EXPECT_EQ(one.memories, eight.memories);
  EXPECT_EQ(one.modules, eight.modules);
  EXPECT_EQ(one.printed, eight.printed);
  EXPECT_EQ(one.settings, eight.settings);
  EXPECT_EQ(one.report, eight.report);
  // Something happened at all.
  EXPECT_GE(one.rows.size(), GetParam().minRows);
  // Answer files: the fixed names one at a time, each station's own several at once.
  auto has = [](const Outcome& o, const std::string& name) {
    return std::find(o.files.begin(), o.files.end(), name) != o.files.end();
  };
  const std::string command = GetParam().name;
  if (command == "EthernetDefaults" || command == "AllDefaults") {
    EXPECT_TRUE(has(one, "default_setup.html"));
    EXPECT_FALSE(has(eight, "default_setup.html"));
    EXPECT_TRUE(has(eight, "default_setup_127.0.0.2.html"));
    EXPECT_TRUE(has(eight, "gpio_setup_127.0.0.3.html"));
  }
  if (command == "ViewStations") {
    // Every station of the mix has its block, the silent one and the refused tunnel included.
    EXPECT_NE(one.report.find("Basestation 8:"), std::string::npos);
    EXPECT_NE(one.report.find("(not present)"), std::string::npos);
    EXPECT_TRUE(std::regex_search(one.report, std::regex("connection status: [1-9]")))
        << one.report;
  }
  if (command == "EthernetDefaultsChangedOnly") {
    // Held the defaults: nothing posted; did not: posted; hung web: unread.
    const std::vector<std::string> some = {one.printed[0], one.printed[1].substr(0, 26),
                                           one.printed[5]};
    EXPECT_EQ(some, (std::vector<std::string>{"127.0.0.2 read ok ", "127.0.0.3 read changed ok ",
                                              "127.0.0.7 unread failed "}));
    EXPECT_FALSE(has(eight, "default_setup_127.0.0.2.html"));
  }
  auto rowStarting = [](const Outcome& o, const std::string& start) {
    return std::any_of(o.rows.begin(), o.rows.end(),
                       [&](const std::string& row) { return row.rfind(start, 0) == 0; });
  };
  if (command == "ConfigurationFileChangedOnly") {
    // Half the stations held part of the file: those bytes were not written again.
    EXPECT_TRUE(rowStarting(one, "unchanged | line 5: SET_BLOCK:50:6:9"));
    EXPECT_TRUE(rowStarting(one, "Verified | "));
  }
  if (command == "CompareStations") {
    EXPECT_TRUE(rowStarting(one, "Differs | "));
    EXPECT_TRUE(rowStarting(one, "line 5: SET_BLOCK:50:6:9 | in sync | 09 09 09 09 09 09"));
    EXPECT_TRUE(rowStarting(one, "line 5: SET_BLOCK:50:6:9 | differs | device "));
  }
  if (command == "RebootModules") {
    EXPECT_TRUE(has(one, "reboot.html"));
    EXPECT_TRUE(has(eight, "reboot_127.0.0.8.html"));
    EXPECT_FALSE(has(eight, "reboot.html"));
  }
}

// bs-eth-defaults --changed-only: the modules' outcomes, one line each.
std::vector<std::string> ChangedDefaults(CQeltaConfigView& form) {
  using namespace qelta::network;
  std::vector<std::string> lines;
  for (const DefaultsOutcome& o : CheckDefaultEthernetSettings(form, DefaultsMode::kChangedOnly))
    lines.push_back(o.station + (o.read ? " read" : " unread") + (o.changed ? " changed " : " ") +
                    (o.ok ? "ok " : "failed ") + DifferencesText(o.differences));
  return lines;
}

void PrintTo(const Command& c, std::ostream* out) { *out << c.name; }

void NoAnswers(qelta::ScriptedUi&, const std::string&) {}

void ConfigFileAnswer(qelta::ScriptedUi& ui, const std::string& root) {
  ui.QueueFileDialogResult(root + "/defaults.pcg");
}

void DefaultsAnswers(qelta::ScriptedUi& ui, const std::string& root) {
  ui.QueueFileDialogResult(root + "/defaults.pcg");
  qelta::ScriptedUi::DialogAnswer a;
  a.press = {"browse"};
  ui.QueueDialogAnswer("CDefaultUploadDlg", a);
}

void ChannelAnswer(qelta::ScriptedUi& ui, const std::string&) {
  qelta::ScriptedUi::DialogAnswer a;
  a.values["channel"] = "5";
  ui.QueueDialogAnswer("CBSChannelDlg", a);
}

void InventoryAnswer(qelta::ScriptedUi& ui, const std::string& root) {
  ui.QueueFileDialogResult(root + "/inventory.csv");
}

void CommIdAnswer(qelta::ScriptedUi& ui, const std::string&) {
  qelta::ScriptedUi::DialogAnswer a;
  a.values["start"] = "65533";  // wraps: the question is answered with OK
  ui.QueueDialogAnswer("CMultiCommIdDlg", a);
  ui.QueueMessageAnswer(qelta::MessageAnswer::Ok);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, FleetEquivalenceTest,
    ::testing::Values(
        Command{"ViewStations", ids::kCmdViewBaseStations, false, 9, NoAnswers},
        Command{"ResetStations", ids::kCmdResetBaseStations, false, 8, NoAnswers},
        Command{"EthernetDefaults", ids::kCmdUploadDefaultEthernet, false, 12, NoAnswers},
        Command{"RebootModules", ids::kCmdRebootModules, false, 1, NoAnswers},
        Command{"SameChannel", ids::kCmdSameChannel, false, 16, ChannelAnswer},
        Command{"RadioTypes", ids::kCmdSetRadioType, true, 16, NoAnswers},
        Command{"CommIds", ids::kSetNewCommIdButton, false, 14, CommIdAnswer},
        Command{"ConfigurationFile", ids::kCmdSetConfigFile, false, 30, ConfigFileAnswer},
        Command{"ConfigurationFileChangedOnly",
                ids::kCmdSetConfigFile,
                false,
                30,
                ConfigFileAnswer,
                nullptr,
                {{"WriteChangedOnly", 1}, {"VerifyWrites", 1}}},
        Command{"CompareStations", ids::kCmdCompareStations, false, 30, ConfigFileAnswer},
        Command{"AllDefaults", ids::kCmdUploadAllDefaults, true, 40, DefaultsAnswers},
        Command{"Inventory", ids::kCmdInventory, false, 9, InventoryAnswer},
        Command{"EthernetDefaultsChangedOnly", 0, false, 10, NoAnswers, ChangedDefaults}),
    [](const ::testing::TestParamInfo<Command>& info) { return std::string(info.param.name); });

}  // namespace

// The command line's bench: a hand terminal on a pty as COM1, base stations behind simulated
// modules with web interfaces at 127.0.0.2 and 127.0.0.3, a private folder for the settings and
// the working folder, and runs of qeltaconfig-cli in-process with their rows read back from its
// json output. Every test runs in its own private network namespace.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "core/FileAccess.h"
#include "core/SettingsStore.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"
#include "module/WebInterface.h"
#include "network/WebClient.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"

namespace cli_test {

namespace fs = std::filesystem;
namespace sim = qelta::sim;

// A final row of a run: "kind:name", e.g. "failure:Connect error".
struct SeenRow {
  std::string kind, name, value;
  std::string Text() const { return kind + ":" + name; }
};

// Settings writes that fail with `error`, as on a read-only settings file (root passes file modes
// by) or a full disk; with `lockToo`, the settings lock cannot be taken either (a lock file that
// cannot be created in a read-only folder).
class FailingWrites : public PosixFileAccess {
 public:
  std::string path;
  int error = EACCES;
  bool lockToo = false;
  int WriteFileAtomic(const std::string& p, const std::string& data, mode_t mode) override {
    if (!path.empty() && p == path) return error;
    return PosixFileAccess::WriteFileAtomic(p, data, mode);
  }
  int Lock(const std::string& p, mode_t mode, int waitMs, FileLock& lock) override {
    if (lockToo && !path.empty() && p == path + ".lock") return error;
    return PosixFileAccess::Lock(p, mode, waitMs, lock);
  }
};

// What a case sets up before the bench starts.
struct BenchSetup {
  bool terminal = true;  // the hand terminal on COM1
  sim::FaultKnobs terminalFaults;
  bool terminalGone = false;       // COM1 names a device that is not there
  int stations = 0;                // modules with base stations and web interfaces (0 to 2)
  bool station0Refused = false;    // the first module's tunnel refuses connections
  bool station0Held = false;       // ... or is held by another client
  bool station0Silent = false;     // the first module answers nothing at all
  sim::FaultKnobs station0Faults;  // the base station behind the first module
  sim::MalformedAnswer malformed = sim::MalformedAnswer::kNone;
  int webStatus = 0;       // every answer of the first web interface has this status
  bool webSilent = false;  // the first web interface never answers
  bool settingsUnwritable = false;
  int settingsWriteError = EACCES;  // what an unwritable settings file answers (ENOSPC: disk full)
  bool settingsLockFails = false;   // ... and its lock cannot be taken either
  bool lockPathIsAFolder = false;   // a folder where the settings lock file belongs
  std::optional<uint32_t> commId;   // "CommID" stored before the run
  // The settings folder cannot be written and holds no settings file yet (as a read-only one).
  bool settingsFolderReadOnly = false;
  bool serviceMode = false;  // the setting "UIService"
};

class CliBench {
 public:
  void SetUpBench() {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-clibench-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root + "/bin");
    for (const char* file : {"HT_parameters_to_get.cfg", "RFDeviceInfo.txt"})
      fs::copy_file(std::string(QELTA_DATA_DIR) + "/" + file, root + "/bin/" + file);
    settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    // A module that never answers must not hold a case for minutes.
    qelta::network::SetWebTimeouts({2000, 1000, 4000});
  }

  void TearDownBench() {
    unsetenv("HALVEX_COM1");
    for (auto& w : web) w->Stop();
    host.Stop();
    runner.reset();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  void Start(const BenchSetup& s) {
    if (!s.settingsFolderReadOnly) {
      SettingsStore store(RealFileAccess(), settingsFile);
      ASSERT_EQ(store.Create(), 0);
      ASSERT_EQ(store.WriteNumber("ComPort", 1), 0);
      if (s.serviceMode) {
        ASSERT_EQ(store.WriteNumber("UIService", 1), 0);
      }
      if (s.commId) {
        ASSERT_EQ(store.WriteNumber("CommID", *s.commId), 0);
      }
      if (s.lockPathIsAFolder) {
        ASSERT_TRUE(fs::remove(store.LockPath()));
        ASSERT_TRUE(fs::create_directory(store.LockPath()));
      }
    }
    files.path = s.settingsUnwritable || s.settingsFolderReadOnly ? settingsFile : "";
    files.error = s.settingsWriteError;
    files.lockToo = s.settingsLockFails;
    if (s.terminalGone) setenv("HALVEX_COM1", (root + "/no-such-port").c_str(), 1);
    if (s.terminal && !s.terminalGone) {
      sim::DeviceIdentity identity;
      identity.type = sim::kTypeHandTerminal;
      identity.id = 1234;
      terminal = std::make_unique<sim::SimDevice>(identity);
      // The device report knows the terminal by byte 99 of its settings.
      terminal->WithMemory(
          [](sim::DeviceMemory& m) { m.Area(sim::MemoryArea::kExtended)[99] = 8; });
      terminal->SetFaults(s.terminalFaults);
      auto pty = std::make_unique<sim::PtyEndpoint>();
      setenv("HALVEX_COM1", pty->SlavePath().c_str(), 1);
      runner = std::make_unique<sim::DeviceRunner>(*terminal, std::move(pty));
      runner->Start();
      terminalBefore = terminal->Extended();
    }
    for (int i = 0; i < s.stations; ++i) {
      sim::ModuleOptions o;
      o.identity = sim::SampleIdentity(static_cast<size_t>(i));
      o.restartMs = 300;
      sim::DeviceIdentity identity;
      identity.type = sim::kTypeBaseStation;
      identity.id = static_cast<uint16_t>(100 + i);
      o.baseStation = std::make_shared<sim::SimDevice>(identity);
      o.baseStation->WithMemory(
          [](sim::DeviceMemory& m) { m.Area(sim::MemoryArea::kPage0)[13] = 1; });
      if (i == 0) {
        o.tcpRefused = s.station0Refused;
        o.tunnelHeld = s.station0Held;
        o.silent = s.station0Silent;
        o.malformed = s.malformed;
        o.baseStation->SetFaults(s.station0Faults);
      }
      stations.push_back(o.baseStation);
      sim::WebInterfaceOptions w;
      w.address = o.identity.address;
      w.forcedStatus = i == 0 ? s.webStatus : 0;
      w.silent = i == 0 && s.webSilent;
      w.restartMs = 300;
      w.settings.ip = "127.0.0." + std::to_string(2 + i);
      web.push_back(std::make_unique<sim::ModuleWebServer>(w));
      std::string error;
      ASSERT_TRUE(web.back()->Start(&error)) << error;
      host.AddModule(o);
    }
    if (s.stations > 0) {
      std::string error;
      ASSERT_TRUE(host.Start(&error)) << error;
    }
    for (const auto& station : stations) stationsBefore.push_back(station->Page(0));
  }

  // Runs the command line (json output) and keeps its exit status, rows and messages.
  int RunCommand(std::vector<std::string> args) {
    args.insert(args.begin(), {"qeltaconfig-cli", "--output", "json"});
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    FormEnvironment env;
    env.files = &files;
    env.settingsFile = settingsFile;
    env.workingFolder.exePath = root + "/bin/qeltaconfig-cli";
    env.changeDirectory = false;
    std::ostringstream o, e;
    const auto start = std::chrono::steady_clock::now();
    const int status =
        RunCli(static_cast<int>(argv.size()), argv.data(), o, e, AllCliRegistrars(), env);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    out = o.str();
    err = e.str();
    rows.clear();
    static const std::regex row(
        R"re(^\{"index":\d+,"kind":"(\w+)","image":-?\d+,"name":"((?:[^"\\]|\\.)*)","value":"((?:[^"\\]|\\.)*)")re");
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      std::smatch m;
      if (std::regex_search(line, m, row)) rows.push_back({m[1], m[2], m[3]});
    }
    return status;
  }

  // True when these "kind:name" rows appear among the final rows in this order.
  bool HasRowsInOrder(const std::vector<std::string>& expected) const {
    std::size_t next = 0;
    for (const SeenRow& r : rows)
      if (next < expected.size() && r.Text() == expected[next]) ++next;
    return next == expected.size();
  }
  bool HasKind(const std::string& kind) const {
    for (const SeenRow& r : rows)
      if (r.kind == kind) return true;
    return false;
  }
  std::string Dump() const {
    std::string text;
    for (const SeenRow& r : rows) text += "  " + r.Text() + " | " + r.value + "\n";
    return "rows:\n" + text + "stderr:\n" + err;
  }

  uint8_t TerminalByte(int address) const { return terminal->Extended()[address]; }
  uint8_t StationByte(size_t i, int address) const { return stations[i]->Page(0)[address]; }
  std::optional<uint32_t> StoredNumber(const std::string& name) const {
    SettingsStore store(RealFileAccess(), settingsFile);
    SettingsDocument doc;
    if (store.Open(doc) != 0) return std::nullopt;
    return ReadNumberValue(doc, name);
  }
  std::string Write(const std::string& name, const std::string& contents) const {
    const std::string path = root + "/" + name;
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }
  std::string Read(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string root, settingsFile;
  FailingWrites files;
  std::unique_ptr<sim::SimDevice> terminal;
  std::vector<uint8_t> terminalBefore;  // its memory before the run
  std::unique_ptr<sim::DeviceRunner> runner;
  sim::ModuleHost host;
  std::vector<std::shared_ptr<sim::SimDevice>> stations;
  std::vector<std::vector<uint8_t>> stationsBefore;  // their page 0 before the run
  std::vector<std::unique_ptr<sim::ModuleWebServer>> web;
  int status = -1;
  double seconds = 0;
  std::string out, err;
  std::vector<SeenRow> rows;
};

}  // namespace cli_test

// Shared fixture of the comm ID, radio type and channel suites: a main form with every area
// plugged in, kept in a private temporary folder, a simulated device on a pty as COM1 and
// simulated base stations behind Ethernet modules on 127.0.0.x (each test runs in its own
// private network namespace).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "core/FileAccess.h"
#include "core/SettingsStore.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"
#include "ui/ScriptedUi.h"

namespace devops_test {

namespace fs = std::filesystem;

// A browser is found, so that start-up shows no message of its own.
class TestBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/testbrowser %u"}; }
};

// Polls a condition until it holds or the time is up (the module hands bytes over on its own
// thread, so a frame sent last may reach the device a moment after the call returned).
template <typename Condition>
bool WaitFor(Condition condition, int ms = 2000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

struct StationSpec {
  bool tcpRefused = false;
  bool tunnelHeld = false;
  uint8_t channel = 3;
};

class DevopsFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-devops-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root + "/bin");
    for (const char* file : {"HT_parameters_to_get.cfg", "RFDeviceInfo.txt"})
      fs::copy_file(std::string(QELTA_DATA_DIR) + "/" + file, root + "/bin/" + file);
    settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  }
  void TearDown() override {
    form.reset();
    host.Stop();
    runner.reset();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  FormEnvironment Env() {
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = settingsFile;
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    return env;
  }

  // Settings as they are before the program starts (the modes are changed only outside it).
  void Preset(const std::string& name, uint32_t value) {
    SettingsStore store(RealFileAccess(), settingsFile);
    ASSERT_EQ(store.Create(), 0);
    ASSERT_EQ(store.WriteNumber(name, value), 0);
  }
  uint32_t Stored(const std::string& name) {
    SettingsStore store(RealFileAccess(), settingsFile);
    SettingsDocument doc;
    EXPECT_EQ(store.Open(doc), 0);
    return ReadNumberValue(doc, name).value_or(0xFFFFFFFFu);
  }

  CQeltaConfigView& StartForm() {
    form = CreateMainForm(ui, Env());
    form->InitialiseForm();
    ui.RunPostedTasks();
    return *form;
  }

  // The device report names the kind from byte 99 of the settings page: a known one.
  static void MarkDeviceKind(qelta::sim::SimDevice& d) {
    const uint8_t type = d.Identity().type;
    d.WithMemory([type](qelta::sim::DeviceMemory& m) {
      if (type == qelta::sim::kTypeHandTerminal)
        m.Area(qelta::sim::MemoryArea::kExtended)[99] = 8;
      else
        m.Area(qelta::sim::MemoryArea::kPage0)[99] = 9;
    });
  }

  // A device of this type on a pty, made COM1 of the form (start the form first).
  qelta::sim::SimDevice& StartSerialDevice(uint8_t type, uint16_t id = 1234) {
    qelta::sim::DeviceIdentity identity;
    identity.type = type;
    identity.id = id;
    device = std::make_unique<qelta::sim::SimDevice>(identity);
    MarkDeviceKind(*device);
    auto pty = std::make_unique<qelta::sim::PtyEndpoint>();
    const std::string path = pty->SlavePath();
    runner = std::make_unique<qelta::sim::DeviceRunner>(*device, std::move(pty));
    runner->Start();
    EXPECT_EQ(form->SetComDevice(1, path), 0);
    return *device;
  }

  // Base stations behind modules at 127.0.0.2, 127.0.0.3, ...; waits until discovery has them
  // all and shows them in the list (start the form first).
  void StartStations(const std::vector<StationSpec>& specs) {
    for (size_t i = 0; i < specs.size(); ++i) {
      qelta::sim::ModuleOptions options;
      options.identity = qelta::sim::SampleIdentity(i);
      options.tcpRefused = specs[i].tcpRefused;
      options.tunnelHeld = specs[i].tunnelHeld;
      qelta::sim::DeviceIdentity identity;
      identity.type = qelta::sim::kTypeBaseStation;
      identity.id = static_cast<uint16_t>(100 + i);
      options.baseStation = std::make_shared<qelta::sim::SimDevice>(identity);
      const uint8_t channel = specs[i].channel;
      options.baseStation->WithMemory([channel](qelta::sim::DeviceMemory& m) {
        auto page0 = m.Area(qelta::sim::MemoryArea::kPage0);
        page0[13] = channel;
        page0[1] = 0;  // comm ID 7, radio calibration 0: values no operation writes
        page0[2] = 7;
        page0[22] = 0;
        page0[23] = 0;
      });
      stations.push_back(options.baseStation);
      host.AddModule(options);
    }
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      {
        qelta::network::NamedMutexGuard hold(form->directory().ListLock(), 1000);
        if (hold.Owned() && form->directory().Table().count == specs.size()) break;
      }
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "stations not discovered";
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(form->RunCommand(ids::kCmdViewBaseStations));
    ASSERT_TRUE(form->listShowsBaseStations);
  }

  // The station behind module i stops answering its line (the module itself still answers).
  void MakeDeaf(size_t i) {
    qelta::sim::FaultKnobs faults;
    faults.silent = true;
    stations[i]->SetFaults(faults);
  }

  static std::string Address(size_t i) { return "127.0.0." + std::to_string(i + 2); }

  // Selects the rows of these stations (by index), as a user's clicks would.
  void Select(const std::vector<size_t>& which) {
    OutputList& list = form->outputList();
    for (int row = 0; row < list.RowCount(); ++row) list.SetSelected(row, false);
    for (size_t i : which) {
      for (int row = 0; row < list.RowCount(); ++row) {
        const BaseStationRecord* r = list.Row(row).item;
        if (r && Address(i) == r->addressText) {
          list.SetSelected(row, true);
          list.SetSelectionMark(row);
        }
      }
    }
    form->OnListClick();
  }

  // Rows as "name|value|image" (column "More" left out).
  std::vector<std::string> Rows(int from = 0) const {
    std::vector<std::string> rows;
    const OutputList& list = form->outputList();
    for (int r = from; r < list.RowCount(); ++r) {
      const OutputRow& row = list.Row(r);
      rows.push_back(row.text[0] + "|" + row.text[1] + "|" + std::to_string(row.image));
    }
    return rows;
  }

  uint8_t StationByte(size_t i, int address) const { return stations[i]->Page(0)[address]; }
  // Resets the station has seen, once `expected` have arrived (or the time is up).
  uint32_t StationResets(size_t i, uint32_t expected = 0) const {
    auto resets = [&] { return stations[i]->Activity().resets; };
    if (expected == 0) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    WaitFor([&] { return resets() >= expected; });
    return resets();
  }

  std::string root;
  std::string settingsFile;
  TestBrowser browser;
  qelta::ScriptedUi ui;
  qelta::sim::ModuleHost host;
  std::vector<std::shared_ptr<qelta::sim::SimDevice>> stations;
  std::unique_ptr<qelta::sim::SimDevice> device;
  std::unique_ptr<qelta::sim::DeviceRunner> runner;
  std::unique_ptr<CQeltaConfigView> form;
};

inline qelta::ScriptedUi::DialogAnswer Answer(const std::string& field, const std::string& value,
                                              bool accept = true) {
  qelta::ScriptedUi::DialogAnswer answer;
  if (!field.empty()) answer.values[field] = value;
  answer.accept = accept;
  return answer;
}

}  // namespace devops_test

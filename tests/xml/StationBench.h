// A bench of base stations behind simulated Ethernet modules at 127.0.0.2, 127.0.0.3, ..., each
// with a web interface on port 80 and a base station on its serial tunnel, and a main form on the
// scripted UI port whose list shows them. Runs only inside the test's private network namespace.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

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

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "core/SettingsStore.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"
#include "module/WebInterface.h"
#include "network/WebClient.h"
#include "ui/ScriptedUi.h"

namespace qelta::bench {

namespace fs = std::filesystem;

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/testbrowser %u"}; }
};

struct StationSpec {
  bool web = true;            // false: nothing listens on port 80
  bool moduleSilent = false;  // the module answers no discovery request (after the list shows it)
  sim::WebModuleSettings settings;
};

class StationBench : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-xmldoc-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root + "/bin");
    settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    network::SetWebTimeouts({2000, 1000, 4000});
  }
  void TearDown() override {
    form.reset();
    for (auto& w : web)
      if (w) w->Stop();
    host.Stop();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  // A number in the settings before the program starts (the modes are set only outside it).
  void Preset(const std::string& name, uint32_t value) {
    SettingsStore store(RealFileAccess(), settingsFile);
    ASSERT_EQ(store.Create(), 0);
    ASSERT_EQ(store.WriteNumber(name, value), 0);
  }

  void StartForm() {
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = settingsFile;
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    form = CreateMainForm(ui, env);
    form->InitialiseForm();
    ui.RunPostedTasks();
  }

  // Starts the form when needed, then the stations; the list shows them in address order.
  void Start(const std::vector<StationSpec>& specs) {
    if (!form) StartForm();
    for (size_t i = 0; i < specs.size(); ++i) {
      sim::ModuleOptions o;
      o.identity = sim::SampleIdentity(i);
      o.restartMs = 300;
      sim::DeviceIdentity identity;
      identity.type = sim::kTypeBaseStation;
      identity.id = static_cast<uint16_t>(100 + i);
      o.baseStation = std::make_shared<sim::SimDevice>(identity);
      stations.push_back(o.baseStation);
      host.AddModule(o);
      web.emplace_back();
      if (!specs[i].web) continue;
      sim::WebInterfaceOptions w;
      w.address = o.identity.address;
      w.settings = specs[i].settings;
      w.restartMs = 300;
      web.back() = std::make_unique<sim::ModuleWebServer>(w);
      std::string error;
      ASSERT_TRUE(web.back()->Start(&error)) << error;
    }
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      {
        network::NamedMutexGuard hold(form->directory().ListLock(), 1000);
        if (hold.Owned() && form->directory().Table().count == specs.size()) break;
      }
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "stations not discovered";
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(form->RunCommand(ids::kCmdViewBaseStations));
    ASSERT_TRUE(form->listShowsBaseStations);
    for (size_t i = 0; i < specs.size(); ++i)
      if (specs[i].moduleSilent) host.SetSilent(i, true);
    form->outputList().DeleteAllRows();
    ShowStations();
    ui.ClearRecords();
  }

  // The table as base station rows (address order), the list frozen on it.
  void ShowStations() {
    network::BaseStationList& table = form->directory().Table();
    std::vector<BaseStationRecord*> order;
    for (uint32_t i = 0; i < table.count; ++i) order.push_back(&table.records[i]);
    std::sort(order.begin(), order.end(), [](auto* a, auto* b) {
      return std::string(a->addressText) < std::string(b->addressText);
    });
    for (BaseStationRecord* r : order) {
      const int row =
          form->outputList().AddRow(network::BaseStationRowName(*r),
                                    network::BaseStationRowValue(*r), ids::kImageBaseStation);
      form->outputList().SetItem(row, r);
    }
    form->listShowsBaseStations = true;
  }

  static std::string Address(size_t i) { return "127.0.0." + std::to_string(i + 2); }

  // Selects the rows of these stations, as a user's clicks would.
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

  // Rows from `from` on as "name|value|image".
  std::vector<std::string> Rows(int from = 0) const {
    std::vector<std::string> rows;
    const OutputList& list = form->outputList();
    for (int r = from; r < list.RowCount(); ++r) {
      const OutputRow& row = list.Row(r);
      rows.push_back(row.text[0] + "|" + row.text[1] + "|" + std::to_string(row.image));
    }
    return rows;
  }
  int BaseRows() const { return static_cast<int>(stations.size()); }

  std::string FileText(const std::string& path) const {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // "method target" of every request module i's web interface received.
  std::vector<std::string> Trace(size_t i) const {
    std::vector<std::string> out;
    for (const auto& r : web[i]->Requests()) out.push_back(r.method + " " + r.target);
    return out;
  }

  std::string root;
  std::string settingsFile;
  NoBrowser browser;
  ScriptedUi ui;
  sim::ModuleHost host;
  std::vector<std::shared_ptr<sim::SimDevice>> stations;
  std::vector<std::unique_ptr<sim::ModuleWebServer>> web;
  std::unique_ptr<CQeltaConfigView> form;
};

}  // namespace qelta::bench

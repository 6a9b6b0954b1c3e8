// The base station list on the main form: "View base stations" with its rows and "bsview.txt",
// the frozen table, both "Clear list" commands, the reset of selected stations, the clicks and
// the context menus, against simulated modules with type-9 base stations behind their tunnels.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "NetworkTestSupport.h"
#include "app/BaseStationListOps.h"
#include "device/SimDevice.h"
#include "ui/ScriptedUi.h"

namespace qelta::network {
namespace {

using test::WaitFor;

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {ENOENT, ENOENT, ""}; }
};

struct StationSpec {
  int channel = 1;
  bool held = false;
};

class BaseStationListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireNamespace();
    std::string templ = (std::filesystem::temp_directory_path() / "qelta-net-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root = templ;
    std::filesystem::create_directories(root + "/bin");
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  }
  void TearDown() override {
    form.reset();
    host.Stop();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  void StartStations(const std::vector<StationSpec>& specs) {
    for (size_t i = 0; i < specs.size(); ++i) {
      sim::ModuleOptions o;
      o.identity = sim::SampleIdentity(i);
      o.tunnelHeld = specs[i].held;
      sim::DeviceIdentity station;
      station.type = sim::kTypeBaseStation;
      o.baseStation = std::make_shared<sim::SimDevice>(station);
      const auto channel = static_cast<uint8_t>(specs[i].channel);
      o.baseStation->WithMemory(
          [channel](sim::DeviceMemory& m) { m.Area(sim::MemoryArea::kPage0)[13] = channel; });
      host.AddModule(o);
    }
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;
  }

  CQeltaConfigView& StartForm() {
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    form = CreateMainForm(ui, env);
    form->InitialiseForm();
    return *form;
  }

  uint32_t TableCount() {
    NamedMutexGuard hold(form->directory().ListLock(), 1000);
    return form->directory().Table().count;
  }
  bool WaitForTable(uint32_t n) {
    return WaitFor([&] { return TableCount() == n; }, 5000);
  }

  int RowOf(const std::string& address) {
    const OutputList& list = form->outputList();
    for (int r = 0; r < list.RowCount(); ++r) {
      const std::string value = list.Row(r).text[1];
      if (list.Row(r).item && value.rfind(address + " (", 0) == 0) return r;
    }
    return -1;
  }

  std::string ReadReport() {
    std::ifstream in(form->programDir + "bsview.txt");
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::string root;
  NoBrowser browser;
  qelta::ScriptedUi ui;
  sim::ModuleHost host;
  std::unique_ptr<CQeltaConfigView> form;
};

TEST_F(BaseStationListTest, ViewShowsEveryStationAndWritesTheReport) {
  // Channel 7, a station switched off, channel 0.
  StartStations({{7}, {3}, {0}});
  CQeltaConfigView& f = StartForm();
  ASSERT_TRUE(WaitForTable(3));
  // The table as it stands when the user looks; discovery is stopped so that it stays so.
  StopDiscovery(f);
  host.SetSilent(1, true);
  std::vector<BaseStationRecord> order(f.directory().Table().records.begin(),
                                       f.directory().Table().records.begin() + 3);
  f.AddOutputRow("earlier", "row", 2);

  ASSERT_TRUE(f.RunCommand(ids::kCmdViewBaseStations));

  const OutputList& list = f.outputList();
  ASSERT_EQ(list.RowCount(), 4);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(list.Row(r).image, 4);
    EXPECT_EQ(list.Row(r).item, &f.directory().Table().records[r])
        << "rows point at the live records";
    EXPECT_EQ(list.Row(r).text[1],
              std::string(order[r].addressText) + " (" + FormatMac(order[r].mac) + ")");
  }
  EXPECT_EQ(list.Row(RowOf("127.0.0.2")).text[0], "BS-1");
  EXPECT_EQ(list.Row(RowOf("127.0.0.2")).text[1], "127.0.0.2 (00-40-9D-00-00-00)");
  EXPECT_EQ(list.Row(RowOf("127.0.0.2")).text[2], "Ch: 7");
  EXPECT_EQ(list.Row(RowOf("127.0.0.3")).text[2], "(not present)");
  EXPECT_EQ(list.Row(RowOf("127.0.0.4")).text[2], "Channel error 0");
  EXPECT_EQ(list.Row(3).text[0], "Address: 127.0.0.3");
  EXPECT_EQ(list.Row(3).text[1], "No answer ");
  EXPECT_EQ(list.Row(3).text[2], "Lost connection?");
  EXPECT_EQ(list.Row(3).image, 5);
  EXPECT_EQ(list.Row(3).item, nullptr);
  EXPECT_TRUE(f.listShowsBaseStations);

  // The report, line by line; only the two time stamps vary.
  std::string expected = "There are 3 base stations in the list.\n\n";
  for (int i = 0; i < 3; ++i) {
    const BaseStationRecord& r = order[i];
    const std::string address = r.addressText;
    expected += "Basestation " + std::to_string(i + 1) + ":\n";
    expected += "  - IP address: " + address + " (" + address + ")\n";
    expected += "  - port: 2101, ntohs: 13576\n";
    expected += "  - MAC: " + FormatMac(r.mac) + "\n";
    const std::string nameLine = "  - printed name \"" + std::string(r.name) + "\".\n\n";
    if (address == "127.0.0.3") {
      expected += "  - (not present)\n" + nameLine;
      continue;
    }
    const bool valid = address == "127.0.0.2";
    expected += "  - connection status: 0\n" + nameLine + "  - \"Base station\" printed\n";
    expected += std::string("  - channel read result: ") + (valid ? "7" : "0") + "\n";
    expected +=
        valid ? "  - channel seems to be valid\n" : "  - channel bound check failed (1,7)\n";
    expected += std::string("  - added \"") + (valid ? "Ch: 7" : "Channel error 0") +
                "\" to column 2\n  - disconnect\n\n";
  }
  const std::string report = ReadReport();
  const std::string stamp = "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] \\d\\d:\\d\\d:\\d\\d \\d{4}\n";
  const std::string first = report.substr(0, report.find('\n') + 1);
  ASSERT_TRUE(std::regex_match(first, std::regex("Start view on " + stamp))) << report;
  const size_t body = first.size() + 1;  // the stamp's newline, then an empty line
  ASSERT_EQ(report.substr(first.size(), 1), "\n");
  const size_t end = report.rfind("End view ");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(report.substr(body, end - body), expected);
  EXPECT_TRUE(std::regex_match(report.substr(end), std::regex("End view " + stamp + "\n")))
      << report.substr(end);
}

TEST_F(BaseStationListTest, HeldTunnelAndOneStationReport) {
  StartStations({{5, true}});
  CQeltaConfigView& f = StartForm();
  ASSERT_TRUE(WaitForTable(1));
  ASSERT_TRUE(f.RunCommand(ids::kCmdViewBaseStations));
  ASSERT_EQ(f.outputList().RowCount(), 1);
  EXPECT_EQ(f.outputList().Row(0).text[2], "Connect error, already in use.");
  const std::string report = ReadReport();
  EXPECT_NE(report.find("There is 1 base station in the list.\n\n"), std::string::npos);
  EXPECT_NE(report.find("  - connection status: 2\n  - printed name \"BS-1\".\n\n  - \"Base "
                        "station\" printed\nEnd view "),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("channel read"), std::string::npos);
}

TEST_F(BaseStationListTest, TableStaysFrozenWhileShownAndFollowsAfterClearList) {
  StartStations({{1}, {2}, {3}});
  CQeltaConfigView& f = StartForm();
  ASSERT_TRUE(WaitForTable(3));
  ASSERT_TRUE(f.RunCommand(ids::kCmdViewBaseStations));
  ASSERT_TRUE(f.listShowsBaseStations);

  host.SetSilent(2, true);
  const uint64_t cycles = f.directory().Discovery().CycleCount();
  ASSERT_TRUE(WaitFor([&] { return f.directory().Discovery().CycleCount() >= cycles + 2; }, 5000));
  EXPECT_EQ(TableCount(), 3u);

  // Cancel changes nothing.
  ui.QueueMessageAnswer(MessageAnswer::Cancel);
  ASSERT_TRUE(f.RunCommand(ids::kCmdClearBaseStations));
  EXPECT_EQ(ui.Messages().back().text, "Remove all base station entries?");
  EXPECT_EQ(ui.Messages().back().caption, "Confirm");
  EXPECT_EQ(ui.Messages().back().icon, MessageIcon::Question);
  EXPECT_EQ(TableCount(), 3u);
  EXPECT_EQ(f.outputList().RowCount(), 3);
  EXPECT_TRUE(f.listShowsBaseStations);

  // OK empties table and list; the next cycles follow the network again.
  ui.QueueMessageAnswer(MessageAnswer::Ok);
  ASSERT_TRUE(f.RunCommand(ids::kResetBaseStationsButton));
  EXPECT_EQ(f.outputList().RowCount(), 0);
  EXPECT_FALSE(f.listShowsBaseStations);
  EXPECT_EQ(f.selectedBaseStation, nullptr);
  EXPECT_EQ(f.controls().Text(ids::kDiscoveryStatusLabel), "No basestations");
  ASSERT_TRUE(WaitForTable(2));
  ui.RunPostedTasks();
  EXPECT_EQ(f.controls().Text(ids::kDiscoveryStatusLabel), "Base stations: 2");
}

TEST_F(BaseStationListTest, ResetGoesToEverySelectedStationThatAnswers) {
  StartStations({{1}, {2}, {3}});
  CQeltaConfigView& f = StartForm();
  ASSERT_TRUE(WaitForTable(3));

  // Nothing selected: no reset, no rows.
  ASSERT_TRUE(f.RunCommand(ids::kCmdResetBaseStations));
  EXPECT_EQ(f.outputList().RowCount(), 0);

  ASSERT_TRUE(f.RunCommand(ids::kCmdViewBaseStations));
  f.AddOutputRow("an output row", "", 2);
  f.outputList().SetSelected(3, true);
  ASSERT_TRUE(f.RunCommand(ids::kCmdSelectAll));
  EXPECT_TRUE(f.outputList().Row(3).selected) << "other rows keep their state";
  for (int r = 0; r < 3; ++r) EXPECT_TRUE(f.outputList().Row(r).selected);

  host.SetSilent(1, true);  // 127.0.0.3 stops answering
  f.outputList().SetSelected(RowOf("127.0.0.4"), false);
  ASSERT_TRUE(f.RunCommand(ids::kCmdResetBaseStations));

  EXPECT_EQ(host.BaseStation(0)->Activity().resets, 1u);
  EXPECT_EQ(host.BaseStation(1)->Activity().resets, 0u);
  EXPECT_EQ(host.BaseStation(2)->Activity().resets, 0u);
  const OutputList& list = f.outputList();
  ASSERT_EQ(list.RowCount(), 8);
  EXPECT_EQ(list.Row(4).text[0], "Resetting all");
  EXPECT_EQ(list.Row(4).text[1], "3 base stations");
  EXPECT_EQ(list.Row(4).image, 3);
  EXPECT_EQ(list.Row(5).text[0], "Resetting...");
  EXPECT_EQ(list.Row(5).text[1], "127.0.0.2");
  EXPECT_EQ(list.Row(5).image, 2);
  EXPECT_EQ(list.Row(6).text[0], "Address: 127.0.0.3");
  EXPECT_EQ(list.Row(6).text[1], "No answer (BS reset)");
  EXPECT_EQ(list.Row(6).image, 5);
  EXPECT_EQ(list.Row(7).text[0], "Ready");
  EXPECT_EQ(list.Row(7).image, 3);
  EXPECT_EQ(TableCount(), 3u) << "the table is not changed by the reset";
}

// Fills the table as if three modules had answered (no network needed).
void FillTable(CQeltaConfigView& f, int n) {
  std::vector<DiscoveryResponse> answers(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    answers[static_cast<size_t>(i)].address = htonl(0x0A000001u + static_cast<uint32_t>(i));
  }
  ASSERT_TRUE(f.directory().Discovery().UpdateBaseStationList(answers.data(), answers.size()));
}

void ShowTableRows(CQeltaConfigView& f) {
  BaseStationList& table = f.directory().Table();
  for (uint32_t i = 0; i < table.count; ++i) {
    const int row = f.outputList().AddRow(BaseStationRowName(table.records[i]),
                                          BaseStationRowValue(table.records[i]), 4);
    f.outputList().SetItem(row, &table.records[i]);
  }
  f.listShowsBaseStations = true;
}

TEST_F(BaseStationListTest, ClicksAndContextMenus) {
  CQeltaConfigView& f = StartForm();
  StopDiscovery(f);
  FillTable(f, 3);
  ShowTableRows(f);
  const int output = f.AddOutputRow("output", "", 2);

  BaseStationRecord copies[kMaxBaseStations];
  uint32_t copied = 0;
  BaseStationRecord* acting = nullptr;
  f.SetCommandHandler(ids::kCmdSameChannel, [&] {
    copied = CopySelectedBaseStations(f, copies);
    acting = f.selectedBaseStation;
  });
  f.SetCommandHandler(ids::kCmdChannel, [&] { acting = f.selectedBaseStation; });

  // An output row alone: no menu.
  f.outputList().SelectOnly(output);
  f.OnListClick();
  EXPECT_EQ(f.selectedBaseStation, nullptr);
  f.OnListRightClick(10, 20);
  EXPECT_TRUE(ui.Menus().empty());

  // Two base station rows and an output row: the multi-station menu; the copy holds the two.
  f.outputList().SetSelected(0, true);
  f.outputList().SetSelected(2, true);
  ui.QueueMenuChoice(ids::kCmdSameChannel);
  f.OnListRightClick(10, 20);
  ASSERT_EQ(ui.Menus().size(), 1u);
  EXPECT_NE(ui.Menus()[0].Find(ids::kCmdSameChannel), nullptr);
  ASSERT_EQ(copied, 2u);
  EXPECT_STREQ(copies[0].addressText, "10.0.0.1");
  EXPECT_STREQ(copies[1].addressText, "10.0.0.3");
  EXPECT_EQ(acting, nullptr);

  // One base station row: the single-station menu; the command acts on that station.
  f.outputList().SelectOnly(1);
  f.OnListClick();
  EXPECT_EQ(f.selectedBaseStation, &f.directory().Table().records[1]);
  ui.QueueMenuChoice(ids::kCmdChannel);
  f.OnListRightClick(10, 20);
  ASSERT_EQ(ui.Menus().size(), 2u);
  EXPECT_NE(ui.Menus()[1].Find(ids::kCmdIpRecovery), nullptr);
  EXPECT_EQ(acting, &f.directory().Table().records[1]);

  // Not showing base stations: the device menu only when a device was worked with.
  ClearOutputList(f);
  EXPECT_FALSE(f.listShowsBaseStations);
  f.OnListRightClick(1, 1);
  EXPECT_EQ(ui.Menus().size(), 2u);
  f.deviceMenuEnabled = true;
  f.OnListRightClick(1, 1);
  ASSERT_EQ(ui.Menus().size(), 3u);
  EXPECT_NE(ui.Menus()[2].Find(ids::kCmdDeviceChannel), nullptr);
}

std::vector<std::string> Texts(const qelta::MenuModel& menu) {
  std::vector<std::string> out;
  for (const auto& item : menu.items) out.push_back(item.IsSeparator() ? "-" : item.text);
  return out;
}

TEST_F(BaseStationListTest, MenusFollowTheUserInterfaceMode) {
  CQeltaConfigView& f = StartForm();
  EXPECT_EQ(Texts(f.multiStationMenu),
            (std::vector<std::string>{"Set to same channel", "Upload default Ethernet settings",
                                      "Set configuration file", "Compare with configuration file",
                                      "-", "Reset base stations", "Reboot Ethernet modules", "-",
                                      "Inventory..."}));
  EXPECT_EQ(Texts(f.deviceMenu), (std::vector<std::string>{"Channel"}));
  const std::vector<std::string> single = Texts(f.singleStationMenu);
  ASSERT_GE(single.size(), 3u);
  EXPECT_EQ(single[single.size() - 3], "Select all base stations");
  EXPECT_EQ(single.back(), "Inventory...");

  f.uiProduction = 1;
  BuildContextMenus(f);
  EXPECT_EQ(Texts(f.singleStationMenu), (std::vector<std::string>{"Channel",
                                                                  "-",
                                                                  "Web",
                                                                  "View Ethernet settings",
                                                                  "Device info",
                                                                  "Set configuration file",
                                                                  "Compare with configuration file",
                                                                  "Set default Ethernet settings",
                                                                  "-",
                                                                  "IP address settings",
                                                                  "IP recovery",
                                                                  "Set description",
                                                                  "-",
                                                                  "Reset base station",
                                                                  "Reboot Ethernet module",
                                                                  "-",
                                                                  "Select all base stations",
                                                                  "-",
                                                                  "Set comm ID",
                                                                  "Set radio type",
                                                                  "Upload all defaults",
                                                                  "-",
                                                                  "Inventory..."}));
  EXPECT_EQ(f.singleStationMenu.items[18].command, 1027);
  EXPECT_EQ(f.singleStationMenu.items.back().command, ids::kCmdInventory);
  EXPECT_EQ(Texts(f.multiStationMenu).size(), 13u);
  EXPECT_EQ(Texts(f.deviceMenu), (std::vector<std::string>{"Channel", "Set radio type"}));
  EXPECT_EQ(f.deviceMenu.items[1].command, ids::kCmdDeviceRadioType);

  f.uiProduction = 0;
  f.uiService = 1;
  BuildContextMenus(f);
  EXPECT_EQ(Texts(f.multiStationMenu)[9], "Upload all defaults");
  EXPECT_EQ(Texts(f.multiStationMenu)[8], "Set comm ID's");
  EXPECT_EQ(f.singleStationMenu.Find(ids::kCmdSetRadioType), nullptr);
}

TEST_F(BaseStationListTest, RemoveCompactsTheTableAndEmptiesTheList) {
  CQeltaConfigView& f = StartForm();
  StopDiscovery(f);
  FillTable(f, 4);
  ShowTableRows(f);
  ASSERT_TRUE(RemoveBaseStation(f, &f.directory().Table().records[1]));
  ASSERT_EQ(f.directory().Table().count, 3u);
  EXPECT_STREQ(f.directory().Table().records[0].addressText, "10.0.0.1");
  EXPECT_STREQ(f.directory().Table().records[1].addressText, "10.0.0.3");
  EXPECT_STREQ(f.directory().Table().records[2].addressText, "10.0.0.4");
  EXPECT_EQ(f.directory().Table().records[3].address, 0u);
  EXPECT_EQ(f.outputList().RowCount(), 0);
  EXPECT_FALSE(f.listShowsBaseStations);

  // A copy of a record names the station by its address.
  const BaseStationRecord copy = f.directory().Table().records[2];
  ASSERT_TRUE(RemoveBaseStation(f, &copy));
  ASSERT_EQ(f.directory().Table().count, 2u);
  EXPECT_STREQ(f.directory().Table().records[1].addressText, "10.0.0.3");

  // With the lock held elsewhere nothing changes.
  NamedMutex other(kListLockName);
  std::thread holder([&] {
    other.TryLockFor(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    other.Unlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(RemoveBaseStation(f, &f.directory().Table().records[0]));
  holder.join();
  EXPECT_EQ(f.directory().Table().count, 2u);
}

}  // namespace
}  // namespace qelta::network

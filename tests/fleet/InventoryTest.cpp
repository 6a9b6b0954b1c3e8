// The fleet inventory against simulated stations: good ones, ones that discovery lists but that
// fail their probe, one whose tunnel refuses, one without a web interface. The CSV is read back
// with an RFC 4180 reader of the test's own and checked cell by cell; one station at a time and
// eight at once write the same file. Then the window's "Inventory..." through the scripted port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "app/BaseStationListOps.h"
#include "app/ControlIds.h"
#include "app/HttpHandlerLookup.h"
#include "cli/CliContext.h"
#include "cli/RowOutput.h"
#include "core/ControlCharacters.h"
#include "core/SettingsStore.h"
#include "device/SimDevice.h"
#include "inventory/Inventory.h"
#include "module/SimulatedModule.h"
#include "module/WebInterface.h"

namespace {

namespace fs = std::filesystem;
using Table = std::vector<std::vector<std::string>>;

// RFC 4180: records end in CRLF; a quoted field may hold commas, CR, LF and doubled quotes.
// Anything else (a bare LF, a quote in an unquoted field or after a closing one, no final CRLF)
// is not CSV: nullopt.
std::optional<Table> ReadCsv(const std::string& text) {
  Table rows(1);
  std::string field;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '"') {
      for (++i; i < text.size() && (text[i] != '"' || text.compare(i, 2, "\"\"") == 0); ++i) {
        if (text[i] == '"') ++i;
        field += text[i];
      }
      if (i++ >= text.size() || (text[i] != ',' && text[i] != '\r')) return std::nullopt;
    }
    while (i < text.size() && text[i] != ',' && text[i] != '\r') {
      if (text[i] == '"' || text[i] == '\n') return std::nullopt;
      field += text[i++];
    }
    if (i >= text.size()) return std::nullopt;
    rows.back().push_back(std::exchange(field, {}));
    if (text[i++] == ',') continue;
    if (text[i++] != '\n') return std::nullopt;
    if (i < text.size()) rows.emplace_back();
  }
  return rows;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A CSV row written as "a|b|c"; "~" stands for "no answer".
std::vector<std::string> Cells(const std::string& row) {
  std::vector<std::string> cells;
  std::stringstream in(row);
  for (std::string cell; std::getline(in, cell, '|');)
    cells.push_back(cell == "~" ? "no answer" : cell);
  if (!row.empty() && row.back() == '|') cells.emplace_back();
  return cells;
}

const std::vector<std::string> kHeader = Cells(
    "Name|Address|MAC|Subnet mask|Gateway|DHCP|Device type|Software version|ID|Date|Channel|"
    "Comm ID|Baud rate|Data bits|Stop bits|Parity|Flow control|Description|Location|Status");

TEST(InventoryCsvTest, FieldsAreQuotedWhenTheyMustBe) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text", "plain text"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"line\nfeed", "\"line\nfeed\""},
      {"carriage\rreturn", "\"carriage\rreturn\""},
      {"'single'; tab\t", "'single'; tab\t"},
      // What a spreadsheet would take for a formula gets an apostrophe in front.
      {"=1+2", "'=1+2"},
      {"+49 30 1234", "'+49 30 1234"},
      {"-10 below", "'-10 below"},
      {"@SUM(A1:A9)", "'@SUM(A1:A9)"},
      {"\tTab", "'\tTab"},
      {"\rReturn", "\"'\rReturn\""},
      {"=HYPERLINK(\"x\",\"y\")", "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
      {"a=b+c-d@e", "a=b+c-d@e"},
      {"'=kept", "'=kept"},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(qelta::fleet::CsvField(text), field) << text;
}

// One rule for every text column: UTF-8 stays, a byte that is not UTF-8 is a Latin-1 character,
// a control character (C0, DEL, C1) is \xHH.
TEST(InventoryCsvTest, TextsAreWholeUtf8WithOneRuleForOtherBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain", "plain"},
      {"\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\nx", "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\\x0ax"},  // été 日, LF
      {"BS\x1b[2J", "BS\\x1b[2J"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\t\r\x7f", "\\x09\\x0d\\x7f"},
      {"Caf\xe9 Stra\xdf"
       "e",
       "Caf\xc3\xa9 Stra\xc3\x9f"
       "e"},  // Latin-1 bytes
      {"\xff", "\xc3\xbf"},
      {"\x80\x9b\x9f\xa0", "\\x80\\x9b\\x9f\xc2\xa0"},  // C1 as Latin-1: escaped
      {"\xc2\x9b[31m", "\\x9b[31m"},                    // C1 as UTF-8: escaped alike
      {"\xc2\xa0\xf0\x9f\x98\x80", "\xc2\xa0\xf0\x9f\x98\x80"},
      {"\xe6\x97", "\xc3\xa6\\x97"},              // a cut sequence: byte by byte
      {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\\x80"},  // no surrogates
      {"\xc0\xaf", "\xc3\x80\xc2\xaf"},           // no overlong forms
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(qelta::Utf8ShownText(text), shown) << text;
}

// --- Against simulated stations ------------------------------------------------------------------

enum class Kind { kGood, kProbeSilent, kRefused, kWebFails };

struct Station {
  Kind kind;
  std::string row;  // the CSV row; the simulated station is made from it
};

// In list order, 127.0.0.2 upwards.
const Station kStations[] = {
    {Kind::kGood,
     "BS-1|127.0.0.2|00-40-9D-00-00-00|255.0.0.0|127.0.0.1|off|9|7|201|15.6.24|3|10001|9600|8|1|"
     "even|none|Hall 3, gate \"north\"|Dock B|OK"},
    {Kind::kGood,
     "Line 2, \"east\" spare|127.0.0.3||255.255.255.0|127.0.0.1|on|9|8|202|1.2.25|7|0|38400|8|"
     "1|none|none||Shelf 4|OK"},
    {Kind::kProbeSilent,
     "BS-3|127.0.0.4|00-40-9D-00-00-02|255.0.0.0|127.0.0.1|off|~|~|~|~|~|~|~|~|~|~|~|~|~|"
     "no answer (probe)"},
    {Kind::kRefused,
     "BS-4|127.0.0.5|00-40-9D-00-00-03|255.0.0.0|127.0.0.1|off|~|~|~|~|~|~|4800|8|1|odd|none|"
     "Gate, west|Yard|no answer (tunnel)"},
    {Kind::kWebFails,
     "BS-5|127.0.0.6|00-40-9D-00-00-04|255.0.0.0|127.0.0.1|off|9|12|205|28.2.23|5|65535|~|~|~|~|"
     "~|~|~|no answer (web)"},
    {Kind::kGood,
     "BS-6|127.0.0.7|00-40-9D-00-00-05|255.0.0.0|127.0.0.1|off|9|3|206|9.9.19|6|4660|115200|8|1|"
     "none|none|Loading bay seven, the far end by the gate||OK"},
    {Kind::kProbeSilent,
     "BS-7|127.0.0.8|00-40-9D-00-00-06|255.0.0.0|127.0.0.1|off|~|~|~|~|~|~|~|~|~|~|~|~|~|"
     "no answer (probe)"},
    {Kind::kGood,
     "BS-8|127.0.0.9|00-40-9D-00-00-07|255.0.0.0|127.0.0.1|off|9|255|65535|31.12.99|0|256|1200|"
     "8|1|mark|none|x|y|OK"},
};
constexpr std::size_t kCount = std::size(kStations);

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/testbrowser %u"}; }
};

class InventoryStationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string pattern = (fs::temp_directory_path() / "qelta-inventory-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root + "/bin");
    settings = root + "/QeltaConfigurator.conf";
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ASSERT_EQ(SettingsStore(RealFileAccess(), settings).Create(), 0);

    for (std::size_t i = 0; i < kCount; ++i) {
      const std::vector<std::string> c = Cells(kStations[i].row);
      const Kind kind = kStations[i].kind;
      auto number = [&c](std::size_t k) { return c[k] == "no answer" ? 1 : std::stoi(c[k]); };
      qelta::sim::ModuleOptions m;
      m.identity = qelta::sim::SampleIdentity(i);
      m.identity.name = c[0];
      m.identity.hasMac = !c[2].empty();
      ASSERT_TRUE(qelta::sim::ParseDottedAddress(c[3], m.identity.mask));
      m.identity.dhcp = c[5] == "on";
      m.tcpRefused = kind == Kind::kRefused;
      m.probeSilent = kind == Kind::kProbeSilent;
      m.forwardIdleMs = 5;
      qelta::sim::DeviceIdentity device;
      device.version = static_cast<uint8_t>(number(7));
      device.id = static_cast<uint16_t>(number(8));
      device.date = qelta::sim::ParseDeviceDate(c[9]).value_or(device.date);
      m.baseStation = std::make_shared<qelta::sim::SimDevice>(device);
      m.baseStation->WithMemory([&](qelta::sim::DeviceMemory& memory) {
        auto page0 = memory.Area(qelta::sim::MemoryArea::kPage0);
        page0[1] = static_cast<uint8_t>(number(11) >> 8);
        page0[2] = static_cast<uint8_t>(number(11));
        page0[13] = static_cast<uint8_t>(number(10));
      });
      host.AddModule(m);
      web.emplace_back();
      if (kind == Kind::kWebFails) continue;  // nothing listens on port 80
      qelta::sim::WebInterfaceOptions w;
      w.address = m.identity.address;
      if (kind != Kind::kProbeSilent) {
        w.settings.baud = c[12];
        w.settings.parity = c[15];
        w.settings.description = c[17];
        w.settings.location = c[18];
      }
      w.threads = 2;
      web.back() = std::make_unique<qelta::sim::ModuleWebServer>(w);
      std::string error;
      ASSERT_TRUE(web.back()->Start(&error)) << error;
    }
    std::string error;
    ASSERT_TRUE(host.Start(&error)) << error;
  }
  void TearDown() override {
    for (auto& w : web)
      if (w) w->Stop();
    host.Stop();
    std::error_code ignored;
    fs::remove_all(root, ignored);
  }

  FormEnvironment Env() {
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = settings;
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    return env;
  }

  int Cli(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"qeltaconfig-cli", "--settings", settings});
    args.insert(args.end(), {"--wait", "3000"});
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err, AllCliRegistrars(), Env());
  }

  // The file must hold the header and these stations' rows, in this order.
  void ExpectCsv(const std::string& path, const std::vector<std::size_t>& which) {
    const std::string text = ReadFile(path);
    const auto table = ReadCsv(text);
    ASSERT_TRUE(table) << "not CSV:\n" << text;
    ASSERT_EQ(table->size(), which.size() + 1) << text;
    EXPECT_EQ((*table)[0], kHeader);
    for (std::size_t k = 0; k < which.size(); ++k) {
      const std::vector<std::string> want = Cells(kStations[which[k]].row);
      const std::vector<std::string>& got = (*table)[k + 1];
      ASSERT_EQ(got.size(), want.size()) << "row " << k + 1;
      for (std::size_t c = 0; c < want.size(); ++c)
        EXPECT_EQ(got[c], want[c]) << "station " << want[1] << ", column " << kHeader[c];
    }
  }

  std::string root, settings;
  NoBrowser browser;
  qelta::sim::ModuleHost host;
  std::vector<std::unique_ptr<qelta::sim::ModuleWebServer>> web;
  std::ostringstream out, err;
};

const std::vector<std::size_t> kAll = {0, 1, 2, 3, 4, 5, 6, 7};

TEST_F(InventoryStationsTest, OneAtATimeAndEightAtOnceWriteTheExpectedCsv) {
  const std::string csv = root + "/inventory.csv";
  std::string files[2], rows[2];
  for (int k = 0; k < 2; ++k) {
    const std::string jobs = k == 0 ? "1" : "8";
    SCOPED_TRACE("--jobs " + jobs);
    // Stations that did not answer are failure rows: the run fails.
    EXPECT_EQ(Cli({"--jobs", jobs, "bs-inventory", "--all", "--csv", csv}), 1) << err.str();
    ExpectCsv(csv, kAll);
    files[k] = ReadFile(csv);
    rows[k] = out.str();
    EXPECT_NE(rows[k].find("Inventory written"), std::string::npos) << rows[k];
  }
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(rows[0], rows[1]);
  // Exit statuses: done (only the named stations are listed and probed, and both answer), a
  // station that did not answer, no stations named.
  const std::pair<std::vector<std::string>, int> statuses[] = {
      {{"bs-inventory", "127.0.0.9", "127.0.0.2"}, 0},
      {{"bs-inventory", "127.0.0.5"}, 1},
      {{"bs-inventory"}, 2},
  };
  for (const auto& [args, status] : statuses) EXPECT_EQ(Cli(args), status) << args.size();
  // A file that cannot be written fails the command, with the rows all the same.
  EXPECT_EQ(Cli({"bs-inventory", "127.0.0.2", "--csv", root + "/missing/x.csv"}), 1);
  EXPECT_NE(err.str().find("the inventory file could not be written"), std::string::npos);
  EXPECT_NE(out.str().find("Cannot write inventory"), std::string::npos) << out.str();
  EXPECT_FALSE(fs::exists(root + "/missing"));
  // A station that failed its probe was never contacted; every web session was logged out.
  for (std::size_t i = 0; i < kCount; ++i) {
    if (kStations[i].kind == Kind::kProbeSilent) {
      EXPECT_EQ(host.Stats(i).tunnelConnections, 0u) << i;
      EXPECT_TRUE(web[i]->Requests().empty()) << i;
    } else if (web[i]) {
      ASSERT_FALSE(web[i]->Requests().empty()) << i;
      EXPECT_EQ(web[i]->Requests().back().target, "admin/logout.htm") << i;
    }
  }
  // No answer files: the working folder holds only the session log and the list's report.
  for (const auto& e : fs::directory_iterator(root + "/bin")) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "QeltaConfig.log" || name == "bsview.txt") << name;
  }
}

TEST_F(InventoryStationsTest, WindowWritesTheChosenStationsAndOpensTheFile) {
  struct Case {
    const char* name;
    bool listStations;  // "View base stations" first; else the list holds another row
    std::vector<int> selected;
    const char* editor;             // the "TextEditor" setting
    const char* file;               // the file dialog's answer; null: Cancel
    std::vector<std::size_t> csv;   // stations in the file; empty: no file
    std::vector<std::string> argv;  // the editor started, before the file's path
  };
  // clang-format off
  const std::vector<Case> cases = {
      {"two selected", true, {1, 3}, "gedit --new-window", "two.csv", {1, 3}, {"gedit", "--new-window"}},
      {"none selected: every listed station", true, {}, "", "all.csv", kAll, {"xdg-open"}},
      {"no stations listed: every one discovery knows", false, {}, "", "known.csv", kAll, {"xdg-open"}},
      {"file dialog cancelled", true, {0}, "", nullptr, {}, {}},
      {"file cannot be written", true, {0}, "", "missing/x.csv", {}, {}},
  };
  // clang-format on

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(settings);
    SettingsStore store(RealFileAccess(), settings);
    ASSERT_EQ(store.Create(), 0);
    if (*c.editor) {
      ASSERT_EQ(store.WriteText("TextEditor", c.editor), 0);
    }
    qelta::ScriptedUi ui;
    auto form = CreateMainForm(ui, Env());
    form->InitialiseForm();
    auto listed = [&form] {
      qelta::network::NamedMutexGuard hold(form->directory().ListLock(), 1000);
      return form->directory().Table().count;
    };
    for (int wait = 0; wait < 250 && listed() < kCount; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(listed(), kCount);
    OutputList& list = form->outputList();
    if (c.listStations) {
      ASSERT_TRUE(form->RunCommand(ids::kCmdViewBaseStations));
      for (int row : c.selected) list.SetSelected(row, true);
    } else {
      form->AddOutputRow("Another row", "", ids::kImageStep);
    }
    const std::string path = c.file ? root + "/" + c.file : "";
    ui.QueueFileDialogResult(c.file ? std::optional<std::string>(path) : std::nullopt);
    const int before = list.RowCount();

    ASSERT_TRUE(form->RunCommand(ids::kCmdInventory));

    ASSERT_EQ(ui.FileDialogs().size(), 1u);
    EXPECT_TRUE(ui.FileDialogs()[0].save);
    EXPECT_EQ(ui.FileDialogs()[0].defaultExt, "csv");
    std::vector<std::string> argv = c.argv;
    if (!c.csv.empty()) {
      ExpectCsv(path, c.csv);
      argv.push_back(path);
    }
    EXPECT_EQ(ui.Processes().empty() ? std::vector<std::string>{} : ui.Processes()[0].argv, argv);
    // One row per station, its image telling how it went, then the file's row.
    if (!c.file) {
      EXPECT_EQ(list.RowCount(), before);
      continue;
    }
    const std::size_t stations = c.csv.empty() ? c.selected.size() : c.csv.size();
    ASSERT_EQ(list.RowCount(), before + static_cast<int>(stations) + 1);
    for (std::size_t k = 0; k < c.csv.size(); ++k) {
      const OutputRow& row = list.Row(before + static_cast<int>(k));
      const Kind kind = kStations[c.csv[k]].kind;
      EXPECT_EQ(row.text[1], Cells(kStations[c.csv[k]].row)[1]);
      EXPECT_EQ(row.image, kind == Kind::kGood ? 1 : kind == Kind::kProbeSilent ? 5 : 0);
    }
    EXPECT_EQ(list.Row(list.RowCount() - 1).text[0],
              c.csv.empty() ? "Cannot write inventory" : "Inventory written");
  }
}

// The json format: after the rows, one object per station in list order, every column under its
// key, numbers as numbers, "no answer" and empty cells null.
TEST_F(InventoryStationsTest, JsonObjectsFollowTheRowsInListOrder) {
  EXPECT_EQ(Cli({"--output", "json", "--jobs", "4", "bs-inventory", "--all"}), 1) << err.str();
  std::vector<std::string> objects;
  std::istringstream lines(out.str());
  bool afterRows = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("{\"inventory\":", 0) == 0) {
      objects.push_back(line);
      afterRows = true;
    } else {
      EXPECT_FALSE(afterRows) << "a row after the objects: " << line;
    }
  }
  ASSERT_EQ(objects.size(), kCount) << out.str();
  for (std::size_t i = 0; i < kCount; ++i) {
    const std::string address = "\"address\":\"" + Cells(kStations[i].row)[1] + "\"";
    EXPECT_NE(objects[i].find(address), std::string::npos) << objects[i];
  }
  EXPECT_EQ(
      objects[0],
      R"j({"inventory":{"name":"BS-1","address":"127.0.0.2","mac":"00-40-9D-00-00-00",)j"
      R"j("subnet_mask":"255.0.0.0","gateway":"127.0.0.1","dhcp":false,"device_type":9,)j"
      R"j("software_version":"7","id":"201","date":"15.6.24","channel":3,"comm_id":10001,)j"
      R"j("baud_rate":9600,"data_bits":8,"stop_bits":1,"parity":"even","flow_control":"none",)j"
      R"j("description":"Hall 3, gate \"north\"","location":"Dock B","status":"OK","ok":true}})j");
  EXPECT_EQ(
      objects[1],
      R"j({"inventory":{"name":"Line 2, \"east\" spare","address":"127.0.0.3","mac":null,)j"
      R"j("subnet_mask":"255.255.255.0","gateway":"127.0.0.1","dhcp":true,"device_type":9,)j"
      R"j("software_version":"8","id":"202","date":"1.2.25","channel":7,"comm_id":0,)j"
      R"j("baud_rate":38400,"data_bits":8,"stop_bits":1,"parity":"none","flow_control":"none",)j"
      R"j("description":null,"location":"Shelf 4","status":"OK","ok":true}})j");
  EXPECT_EQ(objects[2],
            R"j({"inventory":{"name":"BS-3","address":"127.0.0.4","mac":"00-40-9D-00-00-02",)j"
            R"j("subnet_mask":"255.0.0.0","gateway":"127.0.0.1","dhcp":false,"device_type":null,)j"
            R"j("software_version":null,"id":null,"date":null,"channel":null,"comm_id":null,)j"
            R"j("baud_rate":null,"data_bits":null,"stop_bits":null,"parity":null,)j"
            R"j("flow_control":null,"description":null,"location":null,)j"
            R"j("status":"no answer (probe)","ok":false}})j");
  // The other formats print the rows alone (the one station named is the only one listed).
  EXPECT_EQ(Cli({"--output", "rows", "bs-inventory", "127.0.0.2"}), 0) << err.str();
  EXPECT_EQ(out.str().find("{\"inventory\""), std::string::npos) << out.str();
}

// Module texts as they come: the module's name from discovery, its description and location from
// its settings backup. Each keeps its text whole under the one rule for bytes, in the CSV, the rows
// and the json objects alike; in the CSV no cell starts a formula.
TEST(InventoryTextsTest, ModuleTextsAreWholeUtf8AndNoCellIsAFormula) {
  const char* inside = std::getenv("QELTA_NETNS");
  ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
  struct Texts {
    std::string name, description, location;
  };
  struct Case {
    const char* what;
    Texts module;  // what the module holds
    Texts shown;   // its columns in the rows and the json objects
    Texts csv;     // its cells in the CSV, as read back
  };
  const Case cases[] = {
      {"formulas",
       {"=HYPERLINK(\"x\")", "+49 30 1234", "-10 below"},
       {"=HYPERLINK(\"x\")", "+49 30 1234", "-10 below"},
       {"'=HYPERLINK(\"x\")", "'+49 30 1234", "'-10 below"}},
      {"formula, tab and carriage return",
       {"@SUM(1)", "\tTabbed", "\rReturn"},
       {"@SUM(1)", "\\x09Tabbed", "\\x0dReturn"},
       {"'@SUM(1)", "\\x09Tabbed", "\\x0dReturn"}},
      {"UTF-8 and control characters",
       {"BS\x1b[2J\xff", "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\nx", "Z\xc3\xbcrich"},
       {"BS\\x1b[2J\xc3\xbf", "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\\x0ax", "Z\xc3\xbcrich"},
       {"BS\\x1b[2J\xc3\xbf", "\xc3\xa9t\xc3\xa9 \xe6\x97\xa5\\x0ax", "Z\xc3\xbcrich"}},
      {"Latin-1",
       {"Caf\xe9",
        "Stra\xdf"
        "e 5",
        "\x80\x9f"},
       {"Caf\xc3\xa9",
        "Stra\xc3\x9f"
        "e 5",
        "\\x80\\x9f"},
       {"Caf\xc3\xa9",
        "Stra\xc3\x9f"
        "e 5",
        "\\x80\\x9f"}},
  };
  std::string pattern = (fs::temp_directory_path() / "qelta-inventory-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string root = pattern;
  fs::create_directories(root + "/bin");
  const std::string settings = root + "/QeltaConfigurator.conf";
  ASSERT_EQ(SettingsStore(RealFileAccess(), settings).Create(), 0);
  qelta::sim::ModuleHost host;
  std::vector<std::unique_ptr<qelta::sim::ModuleWebServer>> web;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    qelta::sim::ModuleOptions m;
    m.identity = qelta::sim::SampleIdentity(i);
    m.identity.name = cases[i].module.name;
    m.baseStation = std::make_shared<qelta::sim::SimDevice>(qelta::sim::DeviceIdentity{});
    host.AddModule(m);
    qelta::sim::WebInterfaceOptions w;
    w.address = m.identity.address;
    w.settings.description = cases[i].module.description;
    w.settings.location = cases[i].module.location;
    web.push_back(std::make_unique<qelta::sim::ModuleWebServer>(w));
    std::string error;
    ASSERT_TRUE(web.back()->Start(&error)) << error;
  }
  std::string error;
  ASSERT_TRUE(host.Start(&error)) << error;

  const std::string csv = root + "/texts.csv";
  std::vector<std::string> args = {
      "qeltaconfig-cli", "--settings", settings, "--output", "json", "bs-inventory",
      "--all",           "--csv",      csv,      "--wait",   "3000"};
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  FormEnvironment env;
  env.settingsFile = settings;
  env.workingFolder.exePath = root + "/bin/qeltaconfig-cli";
  env.changeDirectory = false;
  std::ostringstream out, err;
  EXPECT_EQ(RunCli(static_cast<int>(argv.size()), argv.data(), out, err, AllCliRegistrars(), env),
            0)
      << err.str();

  const auto table = ReadCsv(ReadFile(csv));
  ASSERT_TRUE(table);
  ASSERT_EQ(table->size(), std::size(cases) + 1);
  const std::string json = out.str();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    const std::vector<std::string>& cells = (*table)[i + 1];
    EXPECT_EQ(cells[qelta::fleet::kInvName], c.csv.name);
    EXPECT_EQ(cells[qelta::fleet::kInvDescription], c.csv.description);
    EXPECT_EQ(cells[qelta::fleet::kInvLocation], c.csv.location);
    using qelta::cli::JsonString;
    const std::string station = R"("name":)" + JsonString(c.shown.name) +
                                R"(,"address":"127.0.0.)" + std::to_string(i + 2) + "\"";
    EXPECT_NE(json.find(R"({"inventory":{)" + station), std::string::npos) << json;
    EXPECT_NE(json.find(R"("description":)" + JsonString(c.shown.description) + R"(,"location":)" +
                        JsonString(c.shown.location) + R"(,"status":"OK")"),
              std::string::npos)
        << json;
    // The station's row bears the same name.
    EXPECT_NE(json.find(R"("kind":"success","image":1,"name":)" + JsonString(c.shown.name)),
              std::string::npos)
        << json;
  }
  for (auto& w : web) w->Stop();
  host.Stop();
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

}  // namespace

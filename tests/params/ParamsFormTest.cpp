// The parameter operations through the main form's buttons and the command line, against a
// simulated hand terminal on a pty and a simulated base station behind an Ethernet module.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "app/BaseStationListOps.h"
#include "app/ParamsCommands.h"
#include "app/QeltaConfigView.h"
#include "cli/CliContext.h"
#include "core/FileAccess.h"
#include "core/SettingsStore.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"
#include "params/ConfigCheck.h"
#include "params/ParamsState.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"

namespace {

namespace fs = std::filesystem;
using namespace qelta;

const std::string kDataDir = QELTA_DATA_DIR "/";

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {2, 2, ""}; }
};

class ParamsFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "qelta-paramsform-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root + "/bin");
    for (const char* file : {"HT_parameters_to_get.cfg", "RFDeviceInfo.txt"}) {
      fs::copy_file(kDataDir + file, root + "/bin/" + file);
    }
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
    env.settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    return env;
  }
  CQeltaConfigView& StartForm() {
    form = CreateMainForm(ui, Env());
    form->InitialiseForm();
    return *form;
  }
  // A hand terminal on a pty; answers its slave path.
  std::string StartTerminal() {
    sim::DeviceIdentity identity;
    identity.type = sim::kTypeHandTerminal;
    identity.id = 1234;
    terminal = std::make_unique<sim::SimDevice>(identity);
    terminal->WithMemory([](sim::DeviceMemory& m) {
      m.Area(sim::MemoryArea::kExtended)[99] = 8;  // the template's hand terminal kind
    });
    auto pty = std::make_unique<sim::PtyEndpoint>();
    const std::string path = pty->SlavePath();
    runner = std::make_unique<sim::DeviceRunner>(*terminal, std::move(pty));
    runner->Start();
    return path;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const OutputRow& row : form->outputList().Rows()) names.push_back(row.text[0]);
    return names;
  }
  // Every row, for the message of a failed expectation.
  std::string Dump() const {
    std::string text;
    for (const OutputRow& row : form->outputList().Rows()) {
      text += std::to_string(row.image) + " | " + row.text[0] + " | " + row.text[1] + "\n";
    }
    return text;
  }
  int Failures() const {
    int failures = 0;
    for (const OutputRow& row : form->outputList().Rows()) failures += row.image == 0;
    return failures;
  }

  std::string root;
  NoBrowser browser;
  ScriptedUi ui;
  std::unique_ptr<sim::SimDevice> terminal;
  std::unique_ptr<sim::DeviceRunner> runner;
  sim::ModuleHost host;
  std::unique_ptr<CQeltaConfigView> form;
};

TEST_F(ParamsFormTest, ButtonsOfTheParametersGroup) {
  const std::string pty = StartTerminal();
  CQeltaConfigView& view = StartForm();
  ASSERT_EQ(view.params->selection.size(), 53u);  // loaded with the settings
  ASSERT_EQ(view.SetComDevice(1, pty), 0);

  const std::string file = kDataDir + "examples/hand_terminal_settings.pcg";
  ui.QueueFileDialogResult(file);
  ASSERT_TRUE(view.RunCommand(ids::kCmdOpenConfigFile));
  ASSERT_TRUE(view.RunCommand(ids::kSetConfigButton));
  EXPECT_EQ(Failures(), 0) << Dump();
  EXPECT_EQ(Names().back(), "File END");
  EXPECT_EQ(terminal->Extended()[121], 60);
  EXPECT_EQ(view.eepromPage, 2);

  ASSERT_TRUE(view.RunCommand(ids::kEditWithNotepadButton));
  ASSERT_EQ(ui.Processes().size(), 1u);
  EXPECT_EQ(ui.Processes()[0].argv, (std::vector<std::string>{"xdg-open", file}));

  // The editor can be chosen in the settings.
  ASSERT_EQ(view.settings().WriteText("TextEditor", "gedit --new-window"), 0);
  const std::string out = root + "/terminal.pcg";
  ui.QueueFileDialogResult(out);
  ASSERT_TRUE(view.RunCommand(ids::kGetConfigButton));
  ASSERT_EQ(Names(), std::vector<std::string>{"53 parameters read OK."});
  ASSERT_EQ(ui.Processes().size(), 2u);
  EXPECT_EQ(ui.Processes()[1].argv, (std::vector<std::string>{"gedit", "--new-window", out}));
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("LCD_CONTRAST:60\n"), std::string::npos);
  EXPECT_NE(text.str().find("F3TXT:CANCEL\n"), std::string::npos);

  ASSERT_TRUE(view.RunCommand(ids::kReadDeviceInfoButton));
  const OutputList& list = view.outputList();
  ASSERT_GE(list.RowCount(), 2);
  EXPECT_EQ(list.Row(1).text[0], "Comm ID");
  EXPECT_EQ(list.Row(1).text[1], "1234");
  EXPECT_TRUE(view.deviceMenuEnabled);
  EXPECT_EQ(Failures(), 0);
}

TEST_F(ParamsFormTest, SelectedBaseStationOverItsModule) {
  sim::ModuleOptions options;
  options.identity = sim::SampleIdentity(0);
  sim::DeviceIdentity station;
  station.type = sim::kTypeBaseStation;
  station.id = 555;
  options.baseStation = std::make_shared<sim::SimDevice>(station);
  options.baseStation->WithMemory([](sim::DeviceMemory& m) {
    m.Area(sim::MemoryArea::kPage0)[99] = 9;
    m.Area(sim::MemoryArea::kPage0)[22] = 84;
  });
  host.AddModule(options);
  std::string error;
  ASSERT_TRUE(host.Start(&error)) << error;

  CQeltaConfigView& view = StartForm();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    {
      network::NamedMutexGuard hold(view.directory().ListLock(), 1000);
      if (view.directory().Table().count == 1) break;
    }
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the station was not discovered";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(view.RunCommand(ids::kCmdViewBaseStations));
  int row = -1;
  for (int r = 0; r < view.outputList().RowCount(); ++r) {
    if (view.outputList().Row(r).item != nullptr) row = r;
  }
  ASSERT_GE(row, 0);
  view.outputList().SelectOnly(row);
  view.OnListClick();
  ASSERT_NE(view.selectedBaseStation, nullptr);

  view.configFilePath = kDataDir + "examples/base_station_channel.pcg";
  UploadConfiguration(view);
  EXPECT_EQ(Failures(), 0) << Dump();
  EXPECT_EQ(Names().back(), "File END");
  EXPECT_EQ(view.eepromPage, 0);
  EXPECT_EQ(options.baseStation->Page(0)[13], 3);
  EXPECT_EQ(options.baseStation->Page(0)[12], 1);

  ASSERT_TRUE(view.RunCommand(ids::kCmdDeviceInfo));
  std::vector<std::pair<std::string, std::string>> rows;
  for (const OutputRow& r : view.outputList().Rows()) rows.emplace_back(r.text[0], r.text[1]);
  EXPECT_EQ(rows,
            (std::vector<std::pair<std::string, std::string>>{{"Comm ID", "555"},
                                                              {"Channel", "3"},
                                                              {"Base station mode", "1"},
                                                              {"Device kind", "Base station\n"}}));
  EXPECT_FALSE(view.listShowsBaseStations);
}

TEST_F(ParamsFormTest, CommandLineSubcommands) {
  const std::string pty = StartTerminal();
  setenv("HALVEX_COM1", pty.c_str(), 1);
  auto run = [&](std::vector<std::string> args, std::string* output = nullptr) {
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int code =
        RunCli(static_cast<int>(argv.size()), argv.data(), out, err, AllCliRegistrars(), Env());
    if (output != nullptr) *output = out.str();
    return code;
  };
  EXPECT_EQ(run({"upload", kDataDir + "examples/hand_terminal_settings.pcg"}), 0);
  EXPECT_EQ(terminal->Extended()[123], 120);

  std::string output;
  const std::string out = root + "/cli.pcg";
  EXPECT_EQ(run({"read-out", out}, &output), 0);
  EXPECT_NE(output.find("written: " + out), std::string::npos);
  EXPECT_TRUE(fs::exists(out));

  // A relative name is taken from where the command was started, although the form makes the
  // program's folder the working folder before the command runs.
  {
    const fs::path started = fs::current_path();
    fs::current_path(root);
    FormEnvironment env = Env();
    env.changeDirectory = true;
    const char* argv[] = {"qeltaconfig-cli", "read-out", "relative.pcg"};
    std::ostringstream out, err;
    EXPECT_EQ(RunCli(3, argv, out, err, AllCliRegistrars(), env), 0) << out.str() << err.str();
    fs::current_path(started);
    EXPECT_TRUE(fs::exists(root + "/relative.pcg"));
    EXPECT_FALSE(fs::exists(root + "/bin/relative.pcg"));
  }

  EXPECT_EQ(run({"device-report"}, &output), 0);
  EXPECT_NE(output.find("Terminal name\tWarehouse North     "), std::string::npos);
  EXPECT_EQ(output.find("device_report"), std::string::npos) << "the rows format has rows alone";
  // The json format gives the report's items as one object after the rows.
  EXPECT_EQ(run({"--output", "json", "device-report"}, &output), 0);
  const std::size_t report = output.find("{\"device_report\":");
  ASSERT_NE(report, std::string::npos) << output;
  const std::string object = output.substr(report);
  EXPECT_EQ(object.rfind("{\"device_report\":{\"firmware\":\"", 0), 0u) << object;
  // Decimal numbers are numbers; a version with its dot, texts and their blanks stay texts.
  const std::string items =
      R"("comm_id":1234,"parameter_set":"1.2","channel":5,"terminal_name":"Warehouse North     ",)"
      R"("heading":"Stock count         ","lcd_contrast":60,"sleep_time_s":120,"volume":4,)"
      R"("menu_language":2,"device_kind":"Hand terminal"}})";
  EXPECT_NE(object.find("\"," + items + "\n"), std::string::npos) << object;
  EXPECT_EQ(object.back(), '\n');
  EXPECT_EQ(object.find('\n'), object.size() - 1) << "one object, last";

  // A file that is not there is a failure row, and so a failed command.
  EXPECT_EQ(run({"upload", root + "/missing.pcg"}), 1);
  EXPECT_EQ(run({"upload", "x.pcg", "--station", "not-an-address"}), 2);  // a usage error
  unsetenv("HALVEX_COM1");
}

// "Check configuration file": rows of the dry run, then the writes; the form keeps its file and
// state, and any cancelled or refused answer shows nothing.
TEST_F(ParamsFormTest, CheckFromTheFileMenu) {
  CQeltaConfigView& view = StartForm();
  const std::string station = kDataDir + "examples/base_station_channel.pcg";
  struct Case {
    std::optional<std::string> file;
    std::optional<std::string> type;  // nullopt: the type dialog is cancelled
    std::vector<std::string> rows;    // "name|value|more"
  };
  const Case cases[] = {
      {station,
       "9 base station",
       {"Check configuration file|base_station_channel.pcg|device type 9", "Writing CHANNEL:3\n||",
        "Writing SYSTEM:12||", "Writing END:\n||", "File END| |", "Memory writes|2|",
        "0:13|03|line 2: CHANNEL:3", "0:12|01|line 3: SYSTEM:12:1"}},
      {station, std::nullopt, {}},
      {station, "7", {}},  // refused by the dialog, which is then cancelled
      {std::nullopt, std::nullopt, {}},
  };
  for (const Case& c : cases) {
    view.outputList().DeleteAllRows();
    ui.QueueFileDialogResult(c.file);
    if (c.type) {
      ScriptedUi::DialogAnswer answer;
      answer.values["type"] = *c.type;
      ui.QueueDialogAnswer("CDeviceTypeDlg", answer);
    }
    ASSERT_TRUE(view.RunCommand(ids::kCmdCheckConfigFile));
    std::vector<std::string> rows;
    for (const OutputRow& r : view.outputList().Rows())
      rows.push_back(r.text[0] + "|" + r.text[1] + "|" + r.text[2]);
    EXPECT_EQ(rows, c.rows);
    EXPECT_EQ(view.configFilePath, "");
    EXPECT_FALSE(view.controls().Enabled(ids::kSetConfigButton));
    EXPECT_FALSE(view.deviceMenuEnabled);
  }
  EXPECT_NE(CQeltaConfigView::MainMenu().front().second.Find(ids::kCmdCheckConfigFile), nullptr);
}

TEST_F(ParamsFormTest, CheckOnTheCommandLine) {
  std::string items;
  for (int i = 0; i < 256; ++i) items += i % 64 == 63 ? "1,\n" : "1,";
  std::ofstream(root + "/big.pcg") << "DATABLOCK:0\n" << items;
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::vector<std::string> lines;  // in this order in the output
  };
  const Case cases[] = {
      {{"check", kDataDir + "examples/raw_blocks.pcg"},
       0,
       {"\tFile END\t",
        "\nw\t2\t300\t313\t01 02 1F 01 2C 41 42 0A FF 51 65 6C 74 61\tline 4: DATABLOCK:300\n",
        "\nw\t2\t353\t353\t00\tline 9: STRING_BLOCK:340\n"}},
      {{"check", root + "/big.pcg"}, 1, {"\tDATABLOCK > 255 bytes\t256\t"}},
      {{"--output", "json", "check", kDataDir + "examples/raw_blocks.pcg"},
       0,
       {"\"name\":\"File END\"",
        "\n{\"write\":{\"page\":2,\"first\":300,\"last\":313,\"bytes\":\"01 02 1F 01 2C 41 42 "
        "0A FF 51 65 6C 74 61\",\"source\":\"line 4: DATABLOCK:300\",\"refused\":false}}\n"}},
      {{"check", "--output", "text", kDataDir + "examples/raw_blocks.pcg"},
       0,
       {"File END\n", "\nAddress ", "01 02 1F 01 2C 41 42 0A FF 51 65 6C 74 61",
        "line 9: STRING_BLOCK:340\n"}},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"qeltaconfig-cli"};
    for (const auto& a : c.args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    EXPECT_EQ(
        RunCli(static_cast<int>(argv.size()), argv.data(), out, err, AllCliRegistrars(), Env()),
        c.exit);
    size_t at = 0;
    for (const std::string& line : c.lines) {
      at = out.str().find(line, at);
      ASSERT_NE(at, std::string::npos) << line << " in\n" << out.str();
    }
  }
}

// `diff` and the checked uploads on the command line, on the device on the serial port and on two
// stations behind their modules: exit 4 while a device differs, 0 once it holds the file; the
// objects after the rows name the stations; a second changed-only upload writes nothing; a station
// that answers writes but keeps its old bytes fails the read-back with page, addresses and bytes.
TEST_F(ParamsFormTest, DiffAndCheckedWritesOnTheCommandLine) {
  setenv("HALVEX_COM1", StartTerminal().c_str(), 1);
  std::vector<std::shared_ptr<sim::SimDevice>> stations;
  for (size_t i = 0; i < 2; ++i) {
    sim::ModuleOptions options;
    options.identity = sim::SampleIdentity(i);
    sim::DeviceIdentity station;
    station.type = sim::kTypeBaseStation;
    options.baseStation = std::make_shared<sim::SimDevice>(station);
    stations.push_back(options.baseStation);
    host.AddModule(options);
  }
  stations[1]->SetFaults({.keep_old_bytes = true});
  std::string error;
  ASSERT_TRUE(host.Start(&error)) << error;
  const std::string file = kDataDir + "examples/base_station_channel.pcg";
  const std::string a = "127.0.0.2", b = "127.0.0.3";  // the sample modules, in order
  const std::string json = "--output=json";
  struct Step {
    std::vector<std::string> args;
    int exit;
    std::vector<std::string> has;  // in this order in the output
    std::vector<std::string> lacks = {};
  };
  const Step steps[] = {
      {{"diff", file},
       4,
       {"\tline 2: CHANNEL:3\tdiffers\tdevice 255, file 3", "\tDiffers\t2 of 2"}},
      {{json, "upload", file, "--changed-only", "--verify"},
       0,
       {R"("name":"Verified","value":"2 bytes")",
        R"({"written":{"station":null,"bytes":2,"lines_written":2,"lines_unchanged":0}})"}},
      {{json, "diff", file},
       0,
       {R"("name":"In sync")",
        R"({"diff":{"station":null,"source":"line 2: CHANNEL:3","parameter":"CHANNEL",)"
        R"("file_value":"3","device_value":"3","match":true,"writes":[{"page":2,"first":125,)"
        R"("last":125,"file":"03","device":"03"}]}})"}},
      {{json, "upload", file, "--changed-only"},
       0,
       {R"("name":"unchanged","value":"line 2: CHANNEL:3")",
        R"({"written":{"station":null,"bytes":0,"lines_written":0,"lines_unchanged":2}})"}},
      {{"diff", file, "--type", "9"},
       1,
       {"\tWrong device type\t8\tthe file is compared for type 9"}},
      {{"diff", file, "--type", "7"}, 2, {}},
      {{"diff", root + "/missing.pcg"}, 1, {}},
      {{json, "diff", file, "--all"},
       4,
       {R"({"diff":{"station":")" + a + R"(","source":"line 2: CHANNEL:3")",
        R"({"diff":{"station":")" + b + R"(","source":"line 2: CHANNEL:3")"}},
      {{json, "bs-set-config", file, a, "--changed-only", "--verify"},
       0,
       {R"({"written":{"station":")" + a + R"(","bytes":2,)"}},
      {{json, "bs-set-config", file, a, b, "--verify"},
       1,
       {R"("name":"Verify failure","value":"0:12-13","more":"expected 01 03, found FF FF")",
        R"({"written":{"station":")" + a + R"(","bytes":2,)"},
       {R"({"written":{"station":")" + b}},
      {{"diff", file, "--station", a, "--station", b},
       4,
       {"\tIn sync\t2 lines", "\tDiffers\t2 of 2 lines"}},
  };
  for (const Step& step : steps) {
    std::vector<const char*> argv{"qeltaconfig-cli"};
    for (const auto& arg : step.args) argv.push_back(arg.c_str());
    std::ostringstream out, err;
    EXPECT_EQ(
        RunCli(static_cast<int>(argv.size()), argv.data(), out, err, AllCliRegistrars(), Env()),
        step.exit)
        << out.str() << err.str();
    size_t at = 0;
    for (const std::string& line : step.has) {
      at = out.str().find(line, at);
      ASSERT_NE(at, std::string::npos) << line << " in\n" << out.str();
    }
    for (const std::string& line : step.lacks)
      EXPECT_EQ(out.str().find(line), std::string::npos) << line << " in\n" << out.str();
  }
  EXPECT_EQ(stations[0]->Page(0)[13], 3);
  EXPECT_EQ(stations[1]->Page(0)[13], sim::kErasedByte);
  unsetenv("HALVEX_COM1");
  const char* argv[] = {"qeltaconfig-cli", "diff", file.c_str()};
  std::ostringstream out, err;
  EXPECT_EQ(RunCli(3, argv, out, err, AllCliRegistrars(), Env()), 1) << "no device on the port";
}

// The window: "Compare with device" in the File menu changes nothing; "Set" with the settings
// VerifyWrites and WriteChangedOnly writes what differs, then nothing.
TEST_F(ParamsFormTest, CompareAndCheckedSetInTheWindow) {
  const std::string pty = StartTerminal();
  fs::create_directories(root + "/config/Tervana");
  {
    SettingsStore store(RealFileAccess(), Env().settingsFile);
    ASSERT_EQ(store.Create(), 0);
    ASSERT_EQ(store.WriteNumber("VerifyWrites", 1), 0);
    ASSERT_EQ(store.WriteNumber("WriteChangedOnly", 1), 0);
  }
  CQeltaConfigView& view = StartForm();
  ASSERT_EQ(view.SetComDevice(1, pty), 0);
  const std::string file = kDataDir + "examples/base_station_channel.pcg";
  ui.QueueFileDialogResult(file);
  ASSERT_TRUE(view.RunCommand(ids::kCmdOpenConfigFile));
  struct Step {
    int command;
    std::vector<std::string> rows;  // "name|value|more", in this order among the rows
    std::vector<std::string> lacks = {};
  };
  const Step steps[] = {
      {ids::kCmdCompareWithDevice,
       {"Compare with device|" + file + "|", "line 2: CHANNEL:3|differs|device 255, file 3",
        "line 3: SYSTEM:12:1|differs|device 255, file 1", "Differs|2 of 2 lines|"}},
      {ids::kSetConfigButton,
       {"Writing CHANNEL:3\n||", "File END| |", "Verified|2 bytes|", "Bytes written|2|"}},
      {ids::kSetConfigButton,
       {"unchanged|line 2: CHANNEL:3|", "unchanged|line 3: SYSTEM:12:1|", "Writing END:\n||",
        "Bytes written|0|"},
       {"Writing CHANNEL:3\n||", "Writing SYSTEM:12||", "Verified|2 bytes|"}},
      {ids::kCmdCompareWithDevice, {"line 2: CHANNEL:3|in sync|3", "In sync|2 lines|"}},
  };
  for (const Step& step : steps) {
    view.outputList().DeleteAllRows();
    if (step.command == ids::kCmdCompareWithDevice) {
      ui.QueueFileDialogResult(file);
      ScriptedUi::DialogAnswer answer;
      answer.values["type"] = "8 hand terminal";
      ui.QueueDialogAnswer("CDeviceTypeDlg", answer);
    }
    const int resets = static_cast<int>(terminal->Activity().resets);
    ASSERT_TRUE(view.RunCommand(step.command));
    std::vector<std::string> rows;
    for (const OutputRow& r : view.outputList().Rows())
      rows.push_back(r.text[0] + "|" + r.text[1] + "|" + r.text[2]);
    auto at = rows.begin();
    for (const std::string& row : step.rows) {
      at = std::find(at, rows.end(), row);
      ASSERT_NE(at, rows.end()) << row << "\n" << Dump();
    }
    for (const std::string& row : step.lacks)
      EXPECT_EQ(std::find(rows.begin(), rows.end(), row), rows.end()) << row << "\n" << Dump();
    // Only a write is followed by a reset.
    const bool wrote = std::find(rows.begin(), rows.end(), "Bytes written|2|") != rows.end();
    EXPECT_EQ(static_cast<int>(terminal->Activity().resets), resets + (wrote ? 1 : 0));
  }
  EXPECT_EQ(view.configFilePath, file);
}

}  // namespace

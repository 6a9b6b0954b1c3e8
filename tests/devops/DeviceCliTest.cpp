// The comm-id, channel and radio-type subcommands of qeltaconfig-cli, in-process, against a
// simulated device as COM1 and base stations behind simulated modules.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "DevopsTestSupport.h"
#include "cli/CliContext.h"

namespace devops_test {
namespace {

class DeviceCliTest : public DevopsFormTest {
 protected:
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::ostringstream o, e;
    const int code =
        RunCli(static_cast<int>(argv.size()), argv.data(), o, e, AllCliRegistrars(), Env());
    out = o.str();
    err = e.str();
    return code;
  }
  // A device on a pty found as COM1 through the environment (the command line's own form).
  qelta::sim::SimDevice& SerialDevice(uint8_t type) {
    qelta::sim::DeviceIdentity identity;
    identity.type = type;
    device = std::make_unique<qelta::sim::SimDevice>(identity);
    MarkDeviceKind(*device);
    auto pty = std::make_unique<qelta::sim::PtyEndpoint>();
    setenv("HALVEX_COM1", pty->SlavePath().c_str(), 1);
    runner = std::make_unique<qelta::sim::DeviceRunner>(*device, std::move(pty));
    runner->Start();
    return *device;
  }
  void TearDown() override {
    unsetenv("HALVEX_COM1");
    DevopsFormTest::TearDown();
  }
  std::string out, err;
};

TEST_F(DeviceCliTest, SerialDevice) {
  // Both modes stored: a missing "UIService" would store the production flag as 0.
  Preset("UIService", 0);
  Preset("UIProduction", 1);
  qelta::sim::SimDevice& station = SerialDevice(qelta::sim::kTypeBaseStation);
  station.WithMemory(
      [](qelta::sim::DeviceMemory& m) { m.Area(qelta::sim::MemoryArea::kPage0)[13] = 2; });

  EXPECT_EQ(Run({"channel"}), 0) << err;
  EXPECT_NE(out.find("Channel=2\n"), std::string::npos) << out;
  EXPECT_EQ(Run({"channel", "7"}), 0) << err;
  EXPECT_EQ(station.Page(0)[13], 7);
  EXPECT_NE(Run({"channel", "8"}), 0);  // refused before anything runs

  EXPECT_EQ(Run({"radio-type", "2"}), 0) << err;
  EXPECT_EQ(station.Page(0)[22], 66);
  EXPECT_EQ(Stored("LastRadioUsed"), 2u);

  EXPECT_EQ(Run({"comm-id", "513"}), 0) << err;
  EXPECT_EQ(station.Page(0)[1], 2);
  EXPECT_EQ(station.Page(0)[2], 1);
  EXPECT_NE(out.find("NextCommID=514\n"), std::string::npos) << out;
  EXPECT_EQ(Stored("CommID"), 514u);

  // Radio types only in production mode.
  Preset("UIProduction", 0);
  EXPECT_EQ(Run({"radio-type", "3"}), 1);
  EXPECT_NE(err.find("production mode"), std::string::npos) << err;
  EXPECT_EQ(station.Page(0)[22], 66);

  // A device of another kind: a failure row, so a failed command.
  runner.reset();
  SerialDevice(5);
  EXPECT_EQ(Run({"channel", "3"}), 1);
}

TEST_F(DeviceCliTest, ChosenStations) {
  Preset("UIService", 1);
  StartForm();  // the form of the test only hosts the stations' discovery check
  StartStations({{}, {}, {}});
  form.reset();

  EXPECT_EQ(Run({"channel", "4", "--station", Address(0), "--station", Address(2)}), 0) << err;
  EXPECT_EQ(StationByte(0, 13), 4);
  EXPECT_EQ(StationByte(1, 13), 3);
  EXPECT_EQ(StationByte(2, 13), 4);

  EXPECT_EQ(Run({"channel", "--station", Address(1)}), 0) << err;
  EXPECT_NE(out.find("Channel=3\n"), std::string::npos) << out;

  // Three stations from 65534 wrap: the question is answered Cancel unless told otherwise.
  EXPECT_EQ(Run({"comm-id", "65534", "--all"}), 0) << err;
  EXPECT_NE(err.find("[Verify wrap]"), std::string::npos) << err;
  EXPECT_EQ(StationByte(0, 1), 0);
  EXPECT_EQ(Run({"--yes", "comm-id", "65534", "--all"}), 0) << err;
  EXPECT_EQ(StationByte(0, 1), 0xFF);
  EXPECT_EQ(StationByte(0, 2), 0xFE);
  EXPECT_EQ(StationByte(1, 1), 0xFF);
  EXPECT_EQ(StationByte(1, 2), 0xFF);
  EXPECT_NE(out.find("NextCommID=1\n"), std::string::npos) << out;

  EXPECT_EQ(Run({"comm-id", "--station", "127.0.0.99"}), 1);
  EXPECT_NE(err.find("no base station at 127.0.0.99"), std::string::npos) << err;
  EXPECT_EQ(Run({"radio-type", "1", "--all"}), 1);  // not production mode
}

// radio-type without a type reads back what each device holds, in every mode: a station's radio
// type after it was written, a byte of no known type (null and a failure row), a refused tunnel,
// and the device on the serial port of either kind.
TEST_F(DeviceCliTest, RadioTypeReadBack) {
  Preset("UIService", 1);
  Preset("UIProduction", 1);
  StartForm();
  StartStations({{}, {}, {}, {.tcpRefused = true}});
  form.reset();
  auto calibration = [this](size_t i, uint8_t value) {
    stations[i]->WithMemory([value](qelta::sim::DeviceMemory& m) {
      m.Area(qelta::sim::MemoryArea::kPage0)[22] = value;
    });
  };
  struct Step {
    const char* name;
    std::vector<std::string> args;  // after "--output json radio-type"
    std::function<void()> before;
    int exit;
    std::vector<std::string> printed;  // in this order
  };
  const std::vector<Step> steps = {
      {"NothingWrittenYet",
       {"--all"},
       nullptr,
       1,
       {"\"name\":\"Radio type unknown (cal=0)\",\"value\":\"127.0.0.2\"",
        "\"name\":\"Cannot connect\",\"value\":\"127.0.0.5\"",
        R"({"radio_type":{"station":"127.0.0.2","radio_type":null}})",
        R"({"radio_type":{"station":"127.0.0.5","radio_type":null}})"}},
      {"AfterWriting",
       {"--station", Address(0), "--station", Address(1)},
       [this] {
         ASSERT_EQ(Run({"radio-type", "2", "--station", Address(0)}), 0) << err;
         ASSERT_EQ(Run({"radio-type", "3", "--station", Address(1)}), 0) << err;
       },
       0,
       {"\"kind\":\"success\",\"image\":1,\"name\":\"Radio type 2\",\"value\":\"127.0.0.2\","
        "\"more\":\"cal=66\"",
        "\"name\":\"Radio type 3\",\"value\":\"127.0.0.3\"",
        R"({"radio_type":{"station":"127.0.0.2","radio_type":2}})",
        R"({"radio_type":{"station":"127.0.0.3","radio_type":3}})"}},
      // A calibrated byte inside a type's window, and one between the windows.
      {"WindowsOfTheBytes",
       {"--station", Address(1), "--station", Address(2)},
       [&] {
         calibration(1, 90);
         calibration(2, 72);
       },
       1,
       {"\"name\":\"Radio type 1\",\"value\":\"127.0.0.3\"",
        "\"name\":\"Radio type unknown (cal=72)\",\"value\":\"127.0.0.4\"",
        R"({"radio_type":{"station":"127.0.0.3","radio_type":1}})",
        R"({"radio_type":{"station":"127.0.0.4","radio_type":null}})"}},
      // Reading writes nothing, so it needs no production mode.
      {"OutsideProduction",
       {"--station", Address(0)},
       [this] { Preset("UIProduction", 0); },
       0,
       {R"({"radio_type":{"station":"127.0.0.2","radio_type":2}})"}},
      {"TerminalOnTheSerialPort",
       {},
       [this] {
         SerialDevice(qelta::sim::kTypeHandTerminal).WithMemory([](qelta::sim::DeviceMemory& m) {
           m.Area(qelta::sim::MemoryArea::kExtended)[86] = 80;
         });
       },
       0,
       {"\"name\":\"Radio type 2\",\"value\":\"COM1\"",
        R"({"radio_type":{"station":null,"radio_type":2}})"}},
      {"StationOnTheSerialPortOfNoKnownType",
       {},
       [this] {
         runner.reset();
         SerialDevice(qelta::sim::kTypeBaseStation).WithMemory([](qelta::sim::DeviceMemory& m) {
           m.Area(qelta::sim::MemoryArea::kPage0)[22] = 99;  // a terminal's type 1
         });
       },
       1,
       {"\"name\":\"Radio type unknown (cal=99)\",\"value\":\"COM1\"",
        R"({"radio_type":{"station":null,"radio_type":null}})"}},
      {"NoDeviceOfAKnownKind",
       {},
       [this] {
         runner.reset();
         SerialDevice(5);
       },
       1,
       {"\"name\":\"Cannot get device on COM1\",\"value\":\"Device=5\"",
        R"({"radio_type":{"station":null,"radio_type":null}})"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.before) step.before();
    std::vector<std::string> args = {"--output", "json", "radio-type"};
    args.insert(args.end(), step.args.begin(), step.args.end());
    EXPECT_EQ(Run(args), step.exit) << err << out;
    std::size_t from = 0;
    for (const std::string& text : step.printed) {
      const std::size_t at = out.find(text, from);
      EXPECT_NE(at, std::string::npos) << text << "\n" << out;
      if (at != std::string::npos) from = at + text.size();
    }
  }
  // Reading changed nothing.
  EXPECT_EQ(StationByte(0, 22), 66);
  EXPECT_EQ(StationByte(1, 22), 90);
}

// Multi-station channel, radio type and comm IDs name each station's outcome after their rows
// in the json format (their failure rows do not all name the station).
TEST_F(DeviceCliTest, StationResultsNameEachStation) {
  Preset("UIService", 1);
  Preset("UIProduction", 1);
  StartForm();
  StartStations({{}, {}, {.tcpRefused = true}});
  form.reset();
  auto result = [](size_t i, bool ok, bool changed) {
    return std::string(R"({"station_result":{"station":")") + Address(i) +
           "\",\"ok\":" + (ok ? "true" : "false") + ",\"changed\":" + (changed ? "true" : "false") +
           "}}\n";
  };
  struct Step {
    const char* name;
    std::vector<std::string> args;
    int exit;
    std::string printed;  // everything after the last row
  };
  const std::vector<Step> steps = {
      {"Channel",
       {"--output", "json", "channel", "4", "--all"},
       1,
       result(0, true, true) + result(1, true, true) + result(2, false, false)},
      {"RadioType",
       {"--output", "json", "radio-type", "2", "--all"},
       1,
       result(0, true, true) + result(1, true, true) + result(2, false, false)},
      {"CommIds",
       {"--output", "json", "comm-id", "10", "--station", Address(1), "--station", Address(2)},
       1,
       result(1, true, true) + result(2, false, false)},
      {"OneStationAllGood",
       {"--output", "json", "channel", "6", "--station", Address(0)},
       0,
       result(0, true, true)},
      // Reading a channel is no multi-station run; the rows format prints no objects.
      {"ChannelShown", {"--output", "json", "channel", "--station", Address(0)}, 0, ""},
      {"RowsFormat", {"channel", "5", "--all"}, 1, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(Run(step.args), step.exit) << err << out;
    if (step.printed.empty()) {
      EXPECT_EQ(out.find("station_result"), std::string::npos) << out;
      continue;
    }
    // The objects come last, after every row and reported value.
    std::size_t last = out.rfind("{\"index\"");
    const std::size_t result = out.rfind("{\"result\"");
    if (result != std::string::npos && (last == std::string::npos || result > last)) last = result;
    ASSERT_NE(last, std::string::npos) << out;
    EXPECT_EQ(out.substr(out.find('\n', last) + 1), step.printed) << out;
  }
  EXPECT_EQ(StationByte(0, 13), 5);
  EXPECT_EQ(StationByte(1, 22), 66);
  EXPECT_EQ(StationByte(1, 2), 10);
}

}  // namespace
}  // namespace devops_test

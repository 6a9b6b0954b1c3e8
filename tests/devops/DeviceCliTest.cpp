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

// A step of a json run: its set-up, its arguments, its exit status and what it must print, in
// order.
struct JsonStep {
  const char* name;
  std::vector<std::string> args;
  int exit;
  std::vector<std::string> printed;
  std::function<void()> before = nullptr;
};

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
  // Runs each step (after its set-up) in the json format.
  void RunSteps(const std::vector<JsonStep>& steps) {
    for (const JsonStep& step : steps) {
      SCOPED_TRACE(step.name);
      if (step.before) step.before();
      std::vector<std::string> args = {"--output", "json"};
      args.insert(args.end(), step.args.begin(), step.args.end());
      EXPECT_EQ(Run(args), step.exit) << err << out;
      std::size_t from = 0;
      for (const std::string& text : step.printed) {
        const std::size_t at = out.find(text, from);
        EXPECT_NE(at, std::string::npos) << text << "\n" << out;
        from = at == std::string::npos ? from : at + text.size();
      }
    }
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

std::string RadioJson(const std::string& station, const std::string& type) {
  return R"({"radio_type":{"station":)" + station + R"(,"radio_type":)" + type + "}}";
}

// radio-type without a type reads back what each device holds, in every mode, by the windows of
// the bytes; a byte of no known type is null and a warning row, a refused tunnel or a device of
// no known kind null and a failure row.
TEST_F(DeviceCliTest, RadioTypeReadBack) {
  Preset("UIService", 1);
  Preset("UIProduction", 1);
  StartForm();
  StartStations({{}, {}, {}, {.tcpRefused = true}});
  form.reset();
  auto serial = [this](uint8_t type, qelta::sim::MemoryArea area, int address, uint8_t value) {
    runner.reset();
    SerialDevice(type).WithMemory(
        [=](qelta::sim::DeviceMemory& m) { m.Area(area)[address] = value; });
  };
  stations[2]->WithMemory(
      [](qelta::sim::DeviceMemory& m) { m.Area(qelta::sim::MemoryArea::kPage0)[22] = 72; });
  const std::string a = "\"127.0.0.2\"", b = "\"127.0.0.3\"";
  RunSteps({
      {"NothingWrittenYet",
       {"radio-type", "--all"},
       1,
       {"\"kind\":\"warning\",\"image\":3,\"name\":\"Radio type unknown "
        "(cal=0)\",\"value\":\"127.0.0.2\"",
        "\"name\":\"Radio type unknown (cal=72)\",\"value\":\"127.0.0.4\"",
        "\"name\":\"Cannot connect\",\"value\":\"127.0.0.5\"", RadioJson(a, "null"),
        RadioJson("\"127.0.0.5\"", "null")}},
      {"AfterWriting",
       {"radio-type", "--station", Address(0), "--station", Address(1)},
       0,
       {"\"kind\":\"success\",\"image\":1,\"name\":\"Radio type 2\",\"value\":\"127.0.0.2\","
        "\"more\":\"cal=66\"",
        RadioJson(a, "2"), RadioJson(b, "3")},
       [this] {
         ASSERT_EQ(Run({"radio-type", "2", "--station", Address(0)}), 0) << err;
         ASSERT_EQ(Run({"radio-type", "3", "--station", Address(1)}), 0) << err;
         Preset("UIProduction", 0);  // reading writes nothing: any mode
       }},
      {"Terminal",
       {"radio-type"},
       0,
       {"\"name\":\"Radio type 2\",\"value\":\"COM1\"", RadioJson("null", "2")},
       [&] { serial(qelta::sim::kTypeHandTerminal, qelta::sim::MemoryArea::kExtended, 86, 80); }},
      {"NoKnownDevice",
       {"radio-type"},
       1,
       {"\"name\":\"Cannot get device on COM1\",\"value\":\"Device=5\"", RadioJson("null", "null")},
       [&] { serial(5, qelta::sim::MemoryArea::kPage0, 22, 85); }},
  });
  EXPECT_EQ(StationByte(0, 22), 66);
}

// Channel, radio type and comm IDs on several stations name each one's outcome after the rows.
TEST_F(DeviceCliTest, StationResultsNameEachStation) {
  Preset("UIService", 1);
  Preset("UIProduction", 1);
  StartForm();
  StartStations({{}, {}, {.tcpRefused = true}});
  form.reset();
  auto result = [](size_t i, bool ok, bool changed) {
    return R"({"station_result":{"station":")" + Address(i) +
           "\",\"ok\":" + (ok ? "true" : "false") + ",\"changed\":" + (changed ? "true" : "false") +
           "}}\n";
  };
  const std::string two = result(0, true, true) + result(1, true, true) + result(2, false, false);
  RunSteps({
      {"Channel", {"channel", "4", "--all"}, 1, {"Connect error", "}\n" + two}},
      {"RadioType", {"radio-type", "2", "--all"}, 1, {"}\n" + two}},
      {"CommIds",
       {"comm-id", "10", "--station", Address(1), "--station", Address(2)},
       1,
       {"NextCommID", "}\n" + result(1, true, true) + result(2, false, false)}},
  });
  EXPECT_TRUE(out.ends_with(result(1, true, true) + result(2, false, false))) << out;
  EXPECT_EQ(StationByte(1, 2), 10);
  // Showing one station's channel is no run over stations: no object.
  EXPECT_EQ(Run({"--output", "json", "channel", "--station", Address(0)}), 0) << err;
  EXPECT_EQ(out.find("station_result"), std::string::npos) << out;
}

}  // namespace
}  // namespace devops_test

// The comm-id, channel and radio-type subcommands of qeltaconfig-cli, in-process, against a
// simulated device as COM1 and base stations behind simulated modules.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace devops_test

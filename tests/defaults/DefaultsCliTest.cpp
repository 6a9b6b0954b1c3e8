// The default-upload subcommands of the command line against base stations behind simulated
// modules with web interfaces.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "core/SettingsStore.h"
#include "cli/CliContext.h"
#include "device/SimDevice.h"
#include "module/SimulatedModule.h"
#include "module/WebInterface.h"

void RegisterDefaultsSubcommands(CLI::App& app, CliContext& ctx);

namespace qelta {
namespace {

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/testbrowser %u"}; }
};

class DefaultsCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("QELTA_NETNS");
    ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
    std::string templ = (std::filesystem::temp_directory_path() / "qelta-defcli-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root = templ;
    std::filesystem::create_directories(root + "/bin");
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    for (size_t i = 0; i < 2; ++i) {
      sim::ModuleOptions o;
      o.identity = sim::SampleIdentity(i);
      o.restartMs = 300;
      sim::DeviceIdentity identity;
      identity.type = sim::kTypeBaseStation;
      o.baseStation = std::make_shared<sim::SimDevice>(identity);
      stations.push_back(o.baseStation);
      host.AddModule(o);
      sim::WebInterfaceOptions w;
      w.address = o.identity.address;
      web.push_back(std::make_unique<sim::ModuleWebServer>(w));
      ASSERT_TRUE(web.back()->Start());
    }
    ASSERT_TRUE(host.Start());
    config = root + "/defaults.pcg";
    std::ofstream(config) << "CHANNEL:6\nEND:\n";
  }
  void TearDown() override {
    for (auto& w : web) w->Stop();
    host.Stop();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  void Preset(const std::string& name, uint32_t value) {
    SettingsStore store(RealFileAccess(), settingsFile);
    ASSERT_EQ(store.Create(), 0);
    ASSERT_EQ(store.WriteNumber(name, value), 0);
  }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = settingsFile;
    env.workingFolder.exePath = root + "/bin/qeltaconfig-cli";
    env.changeDirectory = false;
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err,
                  {RegisterShellSubcommands, RegisterDefaultsSubcommands}, env);
  }
  uint8_t Channel(size_t i) const { return stations[i]->Page(0)[13]; }

  std::string root, settingsFile, config;
  NoBrowser browser;
  sim::ModuleHost host;
  std::vector<std::shared_ptr<sim::SimDevice>> stations;
  std::vector<std::unique_ptr<sim::ModuleWebServer>> web;
  std::ostringstream out, err;
};

TEST_F(DefaultsCliTest, SetConfigWritesTheFileToTheChosenStationOnly) {
  const uint8_t before = Channel(0);
  ASSERT_EQ(Run({"bs-set-config", config, "127.0.0.3"}), 0) << err.str() << out.str();
  EXPECT_EQ(Channel(1), 6);
  EXPECT_EQ(Channel(0), before);
  EXPECT_NE(out.str().find("Default EEPROM"), std::string::npos) << out.str();
  EXPECT_TRUE(web[1]->Requests().empty());  // no module settings in this one
}

TEST_F(DefaultsCliTest, AllDefaultsNeedServiceModeAndThenReachEveryStation) {
  EXPECT_EQ(Run({"bs-defaults", config, "--all"}), 1);
  EXPECT_NE(err.str().find("service or production mode"), std::string::npos) << err.str();
  EXPECT_TRUE(web[0]->Requests().empty());

  Preset("UIService", 1);
  EXPECT_EQ(Run({"bs-defaults", config, "--all", "--radio-type", "2"}), 1);
  EXPECT_NE(err.str().find("production mode only"), std::string::npos) << err.str();

  ASSERT_EQ(Run({"bs-defaults", config, "--all"}), 0) << err.str() << out.str();
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(Channel(i), 6) << i;
    EXPECT_TRUE(web[i]->Settings().dhcp) << i;
  }
  EXPECT_NE(out.str().find("Time: 0:"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace qelta

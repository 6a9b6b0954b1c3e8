// The module subcommands of the command line against simulated modules with base stations.
#include <chrono>
#include <sstream>
#include <thread>

#include "WebTestSupport.h"
#include "cli/CliContext.h"
#include "device/SimDevice.h"

void RegisterNetworkSubcommands(CLI::App& app, CliContext& ctx);

namespace qelta::network {
namespace {

class WebCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireNamespace();
    std::string templ = (std::filesystem::temp_directory_path() / "qelta-webcli-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root = templ;
    std::filesystem::create_directories(root + "/bin");
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    for (size_t i = 0; i < 2; ++i) {
      sim::ModuleOptions o;
      o.identity = sim::SampleIdentity(i);
      o.baseStation = std::make_shared<sim::SimDevice>();
      host.AddModule(o);
      sim::WebInterfaceOptions w;
      w.address = o.identity.address;
      web.push_back(std::make_unique<sim::ModuleWebServer>(w));
      ASSERT_TRUE(web.back()->Start());
    }
    ASSERT_TRUE(host.Start());
  }
  void TearDown() override {
    for (auto& w : web) w->Stop();
    host.Stop();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    FormEnvironment env;
    env.browserLookup = &browser;
    env.settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    env.workingFolder.exePath = root + "/bin/qeltaconfig-cli";
    env.changeDirectory = false;
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err,
                  {RegisterShellSubcommands, RegisterNetworkSubcommands, RegisterWebSubcommands},
                  env);
  }

  std::string root;
  test::NoBrowser browser;
  sim::ModuleHost host;
  std::vector<std::unique_ptr<sim::ModuleWebServer>> web;
  std::ostringstream out, err;
};

TEST_F(WebCliTest, StationsChosenByAddressGetTheirForms) {
  ASSERT_EQ(Run({"bs-describe", "127.0.0.3", "--description", "Hall 3", "--host-name", "gate"}), 0)
      << err.str() << out.str();
  EXPECT_TRUE(web[0]->Requests().empty());
  EXPECT_EQ(web[1]->Bodies("Forms/system_config_1"),
            std::vector<std::string>{"device_name=Hall+3&contact=&location=&Submit=Apply"});
  EXPECT_EQ(web[1]->Settings().hostName, "gate");

  ASSERT_EQ(Run({"--yes", "bs-ip", "127.0.0.2", "--ip", "127.0.0.20"}), 0) << err.str();
  EXPECT_EQ(web[0]->Bodies("Forms/network_config_1"),
            std::vector<std::string>{
                "rbDHCP=off&ip_addr=127.0.0.20&submask=255.0.0.0&gw_addr=127.0.0.1&Submit=Apply"});
  // The module reboots into its new settings: its web interface is silent until it is back (the
  // commands below on the station at 127.0.0.2 must not come too early).
  for (int waited = 0; web[0]->Restarting() && waited < 5000; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_FALSE(web[0]->Restarting());

  // Unanswered questions are refused: nothing rebooted, exit 0.
  EXPECT_EQ(Run({"bs-reboot", "127.0.0.3"}), 0);
  EXPECT_NE(err.str().find("[Verify]"), std::string::npos) << err.str();
  EXPECT_EQ(host.Stats(1).restarts, 0u);

  // One station: the single-station command, without the many-stations count row.
  ASSERT_EQ(Run({"bs-eth-defaults", "127.0.0.3"}), 0) << err.str() << out.str();
  EXPECT_EQ(web[1]->Bodies("Forms/network_config_1"),
            std::vector<std::string>{"rbDHCP=on&Submit=Apply"});
  EXPECT_EQ(out.str().find("Uploading to"), std::string::npos) << out.str();
  ASSERT_EQ(Run({"bs-eth-defaults", "127.0.0.2", "127.0.0.3"}), 0) << err.str() << out.str();
  EXPECT_NE(out.str().find("Uploading to 2 base stations."), std::string::npos) << out.str();

  // View Ethernet settings: the record's rows, then the module's own settings.
  ASSERT_EQ(Run({"bs-view", "127.0.0.3"}), 0) << err.str() << out.str();
  EXPECT_NE(out.str().find("\tSettings @ 127.0.0.3\t"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\tLog out\tOK (200)"), std::string::npos) << out.str();
  // A failure row makes the exit code 1.
  web[1]->Stop();
  EXPECT_EQ(Run({"bs-describe", "127.0.0.3", "--description", "x"}), 1);
  EXPECT_NE(out.str().find("Login failure"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace qelta::network

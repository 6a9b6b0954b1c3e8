// The module subcommands of the command line against simulated modules with base stations.
#include <algorithm>
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

// bs-eth-defaults --dry-run and --changed-only, step after step on the same two modules: the
// default forms posted to each module, and what the step prints in this order.
TEST_F(WebCliTest, DefaultsArePostedOnlyWhereAModuleDiffers) {
  auto posts = [this](std::size_t i) {
    const auto requests = web[i]->Requests();
    return std::count_if(requests.begin(), requests.end(), [](const auto& r) {
      return r.method == "POST" && r.target.rfind("Forms/", 0) == 0 && r.target != "Forms/login_1";
    });
  };
  auto row = [](const char* name, const char* station) {
    return "\"name\":\"" + std::string(name) + "\",\"value\":\"127.0.0." + station + "\"";
  };
  auto object = [](const char* station, bool changed, const std::string& rest) {
    return R"({"module_settings":{"station":"127.0.0.)" + std::string(station) +
           "\",\"changed\":" + (changed ? "true" : "false") + rest;
  };
  const std::string baud = R"(,"ok":true,"differences":[{"setting":"baud_rate","before":"9600",)"
                           R"("after":"19200"}]}})";
  struct Step {
    const char* name;
    const char* mode;
    int exit;
    long posts[2];
    std::vector<std::string> printed;
  } const steps[] = {
      {"FreshDryRun",
       "--dry-run",
       0,
       {0, 0},
       {row("would change", "2"), row("would change", "3"),
        object("2", true, R"(,"ok":true,"differences":[{"setting":"gpio_1","before":"0")"),
        R"({"setting":"dhcp","before":"off","after":"on"}]}})"}},
      {"Fresh",
       "--changed-only",
       0,
       {6, 6},
       {row("differs", "2"), row("Done", "2"), row("differs", "3"), object("3", true, "")}},
      {"SecondRun",
       "--changed-only",
       0,
       {0, 0},
       {row("already set", "2"), row("already set", "3"),
        object("2", false, R"(,"ok":true,"differences":[]}})")}},
      {"OneChangedDryRun",
       "--dry-run",
       0,
       {0, 0},
       {row("already set", "2"), row("would change", "3"), object("3", true, baud)}},
      {"OneChanged",
       "--changed-only",
       0,
       {0, 6},
       {row("already set", "2"), row("differs", "3"), object("3", true, baud)}},
      {"Unreadable",
       "--changed-only",
       1,
       {0, 0},
       {"\"kind\":\"failure\",\"image\":0," + row("Cannot read module settings", "3"),
        object("3", false, R"(,"ok":false,"differences":[]}})")}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    if (step.name == std::string("OneChangedDryRun")) {
      auto s = web[1]->Settings();
      s.baud = "9600";  // changed on site
      web[1]->SetSettings(s);
    }
    if (step.name == std::string("Unreadable")) web[1]->Stop();
    for (auto& w : web) w->ClearRequests();
    EXPECT_EQ(Run({"--output", "json", "bs-eth-defaults", "--all", step.mode}), step.exit);
    EXPECT_EQ(posts(0), step.posts[0]);
    EXPECT_EQ(posts(1), step.posts[1]);
    std::size_t from = 0;
    for (const std::string& text : step.printed) {
      from = out.str().find(text, from);
      ASSERT_NE(from, std::string::npos) << text << "\n" << out.str();
    }
  }
  EXPECT_EQ(Run({"bs-eth-defaults", "--all", "--dry-run", "--changed-only"}), 2);
}

}  // namespace
}  // namespace qelta::network

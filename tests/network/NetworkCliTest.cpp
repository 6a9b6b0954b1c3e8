// The command line's base station subcommands against simulated modules.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "NetworkTestSupport.h"
#include "cli/CliContext.h"
#include "device/SimDevice.h"

void RegisterNetworkSubcommands(CLI::App& app, CliContext& ctx);

namespace qelta::network {
namespace {

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {ENOENT, ENOENT, ""}; }
};

class NetworkCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::RequireNamespace();
    std::string templ = (std::filesystem::temp_directory_path() / "qelta-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root = templ;
    std::filesystem::create_directories(root + "/bin");
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    for (size_t i = 0; i < 3; ++i) {
      sim::ModuleOptions o;
      o.identity = sim::SampleIdentity(i);
      o.baseStation = std::make_shared<sim::SimDevice>();
      host.AddModule(o);
    }
    ASSERT_TRUE(host.Start());
  }
  void TearDown() override {
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
                  {RegisterShellSubcommands, RegisterNetworkSubcommands}, env);
  }

  uint32_t Resets(size_t i) { return host.BaseStation(i)->Activity().resets; }

  std::string root;
  NoBrowser browser;
  sim::ModuleHost host;
  std::ostringstream out, err;
};

TEST_F(NetworkCliTest, ListsTheStations) {
  host.SetSilent(2, true);
  ASSERT_EQ(Run({"bs-list"}), 0) << err.str();
  EXPECT_NE(out.str().find("BaseStations=2\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("127.0.0.2 (00-40-9D-00-00-00)"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("127.0.0.3 (00-40-9D-00-00-01)"), std::string::npos);
  EXPECT_EQ(out.str().find("127.0.0.4"), std::string::npos);
}

TEST_F(NetworkCliTest, ResetsTheStationsNamedByAddress) {
  ASSERT_EQ(Run({"bs-reset", "127.0.0.3", "127.0.0.4"}), 0) << err.str() << out.str();
  EXPECT_EQ(Resets(0), 0u);
  EXPECT_EQ(Resets(1), 1u);
  EXPECT_EQ(Resets(2), 1u);
  EXPECT_NE(out.str().find("Ready"), std::string::npos);

  ASSERT_EQ(Run({"bs-reset", "--all"}), 0) << err.str();
  EXPECT_EQ(Resets(0), 1u);
  EXPECT_EQ(Resets(2), 2u);

  EXPECT_EQ(Run({"bs-reset", "127.0.0.99"}), 1);
  EXPECT_NE(err.str().find("no base station at 127.0.0.99"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"bs-reset"}), 2);  // a usage error
  EXPECT_EQ(Resets(0), 1u);
}

// Stations named by address are listed and probed alone, in the order named; --all lists every
// station found. The list reads a station's channel through its tunnel, so a station never
// listed has had no tunnel connection.
TEST_F(NetworkCliTest, NamedStationsAloneAreListedAndProbed) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> listed;  // the list's rows, in order
    std::vector<uint64_t> tunnels;    // connections to each station's tunnel
  };
  const Case cases[] = {
      {{"bs-reset", "127.0.0.4", "127.0.0.3"}, 0, {"127.0.0.4", "127.0.0.3"}, {0, 2, 2}},
      {{"bs-reset", "127.0.0.3", "127.0.0.3"}, 0, {"127.0.0.3"}, {0, 2, 0}},
      {{"bs-reset", "127.0.0.3", "127.0.0.99"}, 1, {"127.0.0.3"}, {0, 1, 0}},
      {{"bs-reset", "--all"}, 0, {"127.0.0.2", "127.0.0.3", "127.0.0.4"}, {2, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    std::vector<uint64_t> before;
    for (size_t i = 0; i < 3; ++i) before.push_back(host.Stats(i).tunnelConnections);
    EXPECT_EQ(Run(c.args), c.status) << err.str();
    std::vector<std::string> listed;
    std::istringstream rows(out.str());
    for (std::string row; std::getline(rows, row);) {
      if (row.rfind('+', 0) != 0) continue;  // a row added, not one changed
      const auto mac = row.find(" (00-40-9D-");
      const auto tab = row.rfind('\t', mac);
      if (mac != std::string::npos && tab != std::string::npos)
        listed.push_back(row.substr(tab + 1, mac - tab - 1));
    }
    // --all lists the stations in the order they answered.
    if (c.args.back() == "--all") std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, c.listed) << out.str();
    for (size_t i = 0; i < 3; ++i)
      EXPECT_EQ(host.Stats(i).tunnelConnections - before[i], c.tunnels[i]) << "station " << i;
  }
}

}  // namespace
}  // namespace qelta::network

// The command line: its subcommands on the scripted port and its exit codes.
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <sstream>

#include "FormTestSupport.h"
#include "cli/CliContext.h"

namespace {

using ::testing::HasSubstr;

class CliTest : public FormTest {
 protected:
  int Run(std::vector<std::string> args, std::vector<CliRegistrar> extra = {}) {
    out.str("");
    err.str("");
    args.insert(args.begin(), "qeltaconfig-cli");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    std::vector<CliRegistrar> registrars = AllCliRegistrars();
    registrars.insert(registrars.end(), extra.begin(), extra.end());
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err, registrars, Env());
  }
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(CliTest, ShellCommandsSucceedAndChangeTheSettings) {
  EXPECT_EQ(Run({"com-port", "4"}), 0);
  EXPECT_EQ(Number("ComPort"), 4u);
  EXPECT_EQ(Run({"com-device", "4", "/dev/ttyUSB7"}), 0);
  EXPECT_THAT(out.str(), HasSubstr("COM4=/dev/ttyUSB7"));
  EXPECT_EQ(Run({"settings"}), 0);
  EXPECT_THAT(out.str(), HasSubstr("ComPort=4\n"));
  EXPECT_THAT(out.str(), HasSubstr("ComDevice=/dev/ttyUSB7\n"));
  EXPECT_THAT(out.str(), HasSubstr("CommID=10000\n"));
  EXPECT_EQ(out.str().find("kqzv"), std::string::npos);
  EXPECT_EQ(Run({"about"}), 0);
  EXPECT_THAT(out.str(), HasSubstr("QeltaConfig Version 2.3.0"));
}

TEST_F(CliTest, ErrorsAndUsageGiveNonZeroExitCodes) {
  EXPECT_EQ(Run({"com-port", "9"}), 1);
  EXPECT_THAT(err.str(), HasSubstr("COM port must be 1 to 8"));
  EXPECT_EQ(Number("ComPort"), 1u);  // the default from the start, not 9
  EXPECT_NE(Run({}), 0);
  EXPECT_NE(Run({"no-such-command"}), 0);
  EXPECT_NE(Run({"com-port"}), 0);
  EXPECT_EQ(Run({"--dialog", "novalue", "about"}), 1);
}

TEST_F(CliTest, TwoRunsStartedTogetherBothKeepTheirChange) {
  // Two programs on one settings file, again and again from no file at all: each change and
  // each default written back at start-up happens under the lock, so neither undoes the other.
  auto spawn = [this](std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) {
      std::ostringstream quiet;
      args.insert(args.begin(), "qeltaconfig-cli");
      std::vector<const char*> argv;
      for (const auto& a : args) argv.push_back(a.c_str());
      _exit(RunCli(static_cast<int>(argv.size()), argv.data(), quiet, quiet, AllCliRegistrars(),
                   Env()));
    }
    return pid;
  };
  auto exitCode = [](pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::filesystem::remove_all(root + "/config");
    const pid_t port = spawn({"com-port", "3"});
    const pid_t device = spawn({"com-device", "5", "/dev/x"});
    ASSERT_EQ(exitCode(port), 0);
    ASSERT_EQ(exitCode(device), 0);
    EXPECT_EQ(Number("ComPort"), 3u);
    EXPECT_EQ(Text("ComDevice5"), "/dev/x");
  }
}

TEST_F(CliTest, AFailureRowMakesTheRunFailAndEveryRowIsPrinted) {
  auto registrar = [](CLI::App& app, CliContext& ctx) {
    auto* sub = app.add_subcommand("probe", "test command");
    auto* bad = sub->add_flag("--bad");
    sub->callback([&ctx, bad] {
      bool fail = bad->count() > 0;
      ctx.action = [fail](CliContext& c) {
        c.form->AddOutputRow("Open COM1", "", ids::kImageStep);
        int r = c.form->AddOutputRow("Step", "", ids::kImageStep);
        if (fail) c.form->outputList().SetImage(r, ids::kImageFailure);
        return true;
      };
    });
  };
  EXPECT_EQ(Run({"probe"}, {registrar}), 0);
  EXPECT_THAT(out.str(), HasSubstr("+0\t2\tOpen COM1\t\t\n"));
  EXPECT_EQ(Run({"probe", "--bad"}, {registrar}), 1);
  EXPECT_THAT(out.str(), HasSubstr("~1\t0\tStep"));
}

TEST_F(CliTest, QuestionsAreAnsweredCautiouslyUnlessToldOtherwise) {
  auto registrar = [](CLI::App& app, CliContext& ctx) {
    app.add_subcommand("ask", "asks")->callback([&ctx] {
      ctx.action = [](CliContext& c) {
        auto answer =
            c.form->Message("Remove all base station entries?", "Confirm",
                            qelta::MessageButtons::OkCancel, qelta::MessageIcon::Question);
        return answer == qelta::MessageAnswer::Ok || c.Fail("declined");
      };
    });
  };
  EXPECT_EQ(Run({"ask"}, {registrar}), 1);
  EXPECT_THAT(err.str(), HasSubstr("[Confirm] Remove all base station entries? -> Cancel"));
  EXPECT_EQ(Run({"--yes", "ask"}, {registrar}), 0);
  EXPECT_EQ(Run({"--answer", "ok", "ask"}, {registrar}), 0);
  EXPECT_EQ(Run({"--answer", "cancel", "--yes", "ask"}, {registrar}), 1);
  EXPECT_NE(Run({"--answer", "maybe", "ask"}, {registrar}), 0);
}

TEST_F(CliTest, AConfigurationFileIsOpenedBeforeTheCommand) {
  auto registrar = [](CLI::App& app, CliContext& ctx) {
    app.add_subcommand("show", "shows")->callback([&ctx] {
      ctx.action = [](CliContext& c) {
        c.out << "file=" << c.form->configFilePath
              << " set=" << c.form->controls().Enabled(ids::kSetConfigButton) << '\n';
        return true;
      };
    });
  };
  EXPECT_EQ(Run({"--config-file", root + "/a.pcg", "show"}, {registrar}), 0);
  EXPECT_THAT(out.str(), HasSubstr("file=" + root + "/a.pcg set=1\n"));
  EXPECT_EQ(Run({"show"}, {registrar}), 0);
  EXPECT_THAT(out.str(), HasSubstr("file= set=0\n"));
}

}  // namespace

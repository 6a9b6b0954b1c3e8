// qelta-sim's module options end to end: the program runs modules that discovery then finds.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "NetworkTestSupport.h"

namespace qelta::network {
namespace {

// Starts qelta-sim (beside this test program) and reads its first `lines` lines of output.
class SimProcess {
 public:
  SimProcess(const std::vector<std::string>& args, int lines) {
    const std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "qelta-sim").string();
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      std::vector<char*> argv = {const_cast<char*>(program.c_str())};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    char c;
    while (lines > 0 && ::read(out[0], &c, 1) == 1) {
      output_ += c;
      if (c == '\n') --lines;
    }
    ::close(out[0]);
  }
  ~SimProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  const std::string& Output() const { return output_; }

 private:
  pid_t pid_ = -1;
  std::string output_;
};

TEST(ModuleProgram, RunsModulesWithTheirKnobs) {
  test::RequireNamespace();
  SimProcess sim({"--modules", "3", "--module-temp", "--module-silent", "2", "--module-long-names",
                  "--module-no-mac", "--module-dhcp"},
                 3);
  ASSERT_EQ(sim.Output(), "module 169.254.10.20 " + std::string(100, 'a') +
                              "\nmodule 169.254.10.21 " + std::string(100, 'b') +
                              " (silent)\nmodule 169.254.10.22 " + std::string(100, 'c') + "\n");
  BaseStationDiscovery d;
  EXPECT_EQ(d.RunDiscoveryCycle(), 2u);
  ASSERT_EQ(d.Table().count, 2u);
  for (uint32_t i = 0; i < 2; ++i) {
    const BaseStationRecord& r = d.Table().records[i];
    EXPECT_EQ(FirstOctet(r.address), 169);
    EXPECT_EQ(std::strlen(r.name), 64u);
    EXPECT_FALSE(r.macValid);
    EXPECT_EQ(r.dhcp, 1);
  }
  d.SetIgnoreTempAddresses(true);
  EXPECT_EQ(d.RunDiscoveryCycle(), 2u);
  EXPECT_EQ(d.Table().count, 0u);
}

}  // namespace
}  // namespace qelta::network

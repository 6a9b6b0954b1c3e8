// qelta-sim as a program: options, state file on SIGUSR1 and on exit, traffic log, TCP tunnel.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "SimTestHelpers.h"

extern char** environ;

namespace qelta::sim {
namespace {

using test::Bytes;
using test::Frame;
namespace fs = std::filesystem;

// One running qelta-sim with its stdout and stderr on pipes.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args, bool in_netns = true) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> argv_s{QELTA_SIM_PROGRAM};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_s;
    for (char** e = environ; *e; ++e) {
      if (in_netns || std::string(*e).rfind("QELTA_NETNS=", 0) != 0) env_s.emplace_back(*e);
    }
    std::vector<char*> env;
    for (auto& e : env_s) env.push_back(e.data());
    env.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }

  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }

  // The first line on stdout (the pty path or the tunnel address), or "" after 5 s.
  std::string FirstLine() {
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 5000) != 1 || read(out_, &c, 1) != 1) return "";
      line += c;
    }
    line.pop_back();
    return line;
  }

  // Waits for the exit (at most 5 s); returns the exit status or -1.
  int Wait() {
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  std::string Stderr() {
    std::string text;
    char buf[256];
    pollfd p{err_, POLLIN, 0};
    while (poll(&p, 1, 100) == 1) {
      ssize_t n = read(err_, buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
  }

  void Signal(int sig) { kill(pid_, sig); }
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

Bytes Ask(int fd, const Bytes& frame, std::size_t want) {
  if (write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size())) return {};
  Bytes out;
  while (out.size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) != 1) break;
    std::uint8_t buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.insert(out.end(), buf, buf + n);
  }
  return out;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SimProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("simprog-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SimProgram, PtyDeviceKeepsItsStateFileAndLogsTraffic) {
  const fs::path state = dir_ / "bs.state";
  const fs::path log = dir_ / "bs.log";
  std::ofstream(state) << "qelta-sim-state 1\ntype 9\nversion 4\nid 1234\ndate 2.3.24\n"
                          "page0 000D 05\n";
  SimProcess sim({"--pty", "--state", state.string(), "--log", log.string(), "--id", "77"});
  ASSERT_TRUE(sim.Started());
  const std::string path = sim.FirstLine();
  ASSERT_FALSE(path.empty()) << sim.Stderr();
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tcsetattr(fd, TCSANOW, &tio);

  // The command line wins over the file for the ID; the rest comes from the file.
  EXPECT_EQ(Ask(fd, Frame(0x12), 8), (Bytes{0x12, 9, 4, 0, 77, 2, 3, 24}));
  EXPECT_EQ(Ask(fd, test::ReadFrame(13, 0, 1), 5), (Bytes{0x0F, 1, 0, 13, 5}));
  EXPECT_EQ(Ask(fd, test::WriteFrame(14, 0, {6}), 1), Bytes{0x06});

  sim.Signal(SIGUSR1);
  std::string saved;
  for (int i = 0; i < 100 && saved.find("page0 0000") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    saved = ReadFile(state);
  }
  EXPECT_NE(saved.find("id 77\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("FFFF0506FFFF"), std::string::npos) << saved;

  EXPECT_EQ(Ask(fd, test::WriteFrame(15, 0, {7}), 1), Bytes{0x06});
  close(fd);
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_NE(ReadFile(state).find("FFFF050607FF"), std::string::npos) << ReadFile(state);
  const std::string traffic = ReadFile(log);
  EXPECT_NE(traffic.find(" RX 02 01 12 03\n"), std::string::npos) << traffic;
  EXPECT_NE(traffic.find(" TX 12 09 04 00 4D 02 03 18\n"), std::string::npos) << traffic;
  EXPECT_NE(traffic.find(" RX 02 05 10 01 00 0F 07 03\n"), std::string::npos) << traffic;
}

TEST_F(SimProgram, ModulesKeepTheirStationsStateFiles) {
  const fs::path first = dir_ / "127.0.0.2.state";
  std::ofstream(first) << "qelta-sim-state 1\ntype 9\nid 900\npage0 0020 0A0B\n";
  SimProcess sim({"--modules", "2", "--module-state-dir", dir_.string()});
  ASSERT_TRUE(sim.Started());
  ASSERT_FALSE(sim.FirstLine().empty()) << sim.Stderr();
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(), 0) << sim.Stderr();
  // The first station came from its file and went back into it; the second got a file of its own.
  const std::string kept = ReadFile(first);
  EXPECT_NE(kept.find("id 900\n"), std::string::npos) << kept;
  EXPECT_NE(kept.find("0A0B"), std::string::npos) << kept;
  const std::string second = ReadFile(dir_ / "127.0.0.3.state");
  EXPECT_EQ(second.rfind("qelta-sim-state 1\n", 0), 0u) << second;
  EXPECT_NE(second.find("id 2\n"), std::string::npos) << second;
}

TEST_F(SimProgram, TcpTunnelWithFaultKnobs) {
  SimProcess sim({"--tcp", "127.0.0.9:0", "--type", "8", "--second-only", "--rssi", "99"});
  ASSERT_TRUE(sim.Started());
  const std::string where = sim.FirstLine();
  ASSERT_EQ(where.rfind("127.0.0.9:", 0), 0u) << where << sim.Stderr();
  const int port = std::stoi(where.substr(where.find(':') + 1));
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<std::uint16_t>(port));
  inet_pton(AF_INET, "127.0.0.9", &sa.sin_addr);
  ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  // Only the retry is answered.
  EXPECT_TRUE(Ask(fd, Frame(0x20, {50}), 1).empty());
  Bytes rssi = Ask(fd, Frame(0x20, {50}), 51);
  ASSERT_EQ(rssi.size(), 51u);
  EXPECT_EQ(rssi[40], 99);
  close(fd);
  sim.Signal(SIGINT);
  EXPECT_EQ(sim.Wait(), 0);
}

int OpenRaw(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) {
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
  }
  return fd;
}

TEST_F(SimProgram, DevicesCarryTheirBootLoaders) {
  SimProcess rom({"--pty", "--boot-mode"});
  const std::string rom_path = rom.FirstLine();
  ASSERT_FALSE(rom_path.empty()) << rom.Stderr();
  int fd = OpenRaw(rom_path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Ask(fd, Bytes{0x00}, 1), Bytes{0x00}) << "the ROM loader wakes up";
  EXPECT_EQ(Ask(fd, Bytes{0x55}, 1), Bytes{0xAA});
  close(fd);

  SimProcess normal({"--pty"});
  const std::string path = normal.FirstLine();
  ASSERT_FALSE(path.empty()) << normal.Stderr();
  fd = OpenRaw(path);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Ask(fd, Frame(0x13), 1), Bytes{'F'}) << "the update loader takes the boot request";
  close(fd);
}

TEST_F(SimProgram, RefusesBadInputWithAMessage) {
  const fs::path state = dir_ / "broken.state";
  std::ofstream(state) << "qelta-sim-state 1\nid 70000\n";
  {
    SimProcess sim({"--pty", "--state", state.string()});
    EXPECT_NE(sim.Wait(), 0);
    EXPECT_NE(sim.Stderr().find(":2:"), std::string::npos);
  }
  EXPECT_EQ(ReadFile(state), "qelta-sim-state 1\nid 70000\n") << "a refused file is left alone";
  {
    SimProcess sim({"--tcp", "192.168.1.1:2101"});
    EXPECT_NE(sim.Wait(), 0);
    EXPECT_NE(sim.Stderr().find("non-loopback"), std::string::npos);
  }
  {
    SimProcess sim({"--pty", "--date", "32.13"});
    EXPECT_NE(sim.Wait(), 0);
  }
  {
    SimProcess sim({"--pty", "--tcp", "127.0.0.1:0"});
    EXPECT_NE(sim.Wait(), 0) << "one line per device";
  }
  {
    SimProcess sim({"--pty"}, /*in_netns=*/false);
    EXPECT_EQ(sim.Wait(), 2);
    EXPECT_NE(sim.Stderr().find("netns"), std::string::npos);
  }
}

}  // namespace
}  // namespace qelta::sim

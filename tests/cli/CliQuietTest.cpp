// What the command line leaves alone: commands that never reach a base station send no datagram,
// and a reader that goes away (`| head -1`) ends the printing, never the device work.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CliBench.h"
#include "params/ParameterTable.h"

namespace cli_test {
namespace {

// Counts every datagram that reaches the discovery port, multicast or unicast.
class DiscoveryPortListener {
 public:
  DiscoveryPortListener() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(2362);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ip_mreq join{};
    join.imr_multiaddr.s_addr = inet_addr("224.0.5.128");
    join.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = ok_ && ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
  }
  ~DiscoveryPortListener() { ::close(fd_); }
  bool Ok() const { return ok_; }
  int Count(int waitMs) {
    int n = 0;
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, waitMs) > 0) {
      char buffer[1024];
      while (::recv(fd_, buffer, sizeof buffer, 0) >= 0) ++n;
    }
    return n;
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

class CliQuietTest : public ::testing::Test, public CliBench {
 protected:
  void SetUp() override { SetUpBench(); }
  void TearDown() override { TearDownBench(); }
};

TEST_F(CliQuietTest, OnlyCommandsOnBaseStationsSendDatagrams) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  const std::string pcg = Write("small.pcg", "LCD_CONTRAST:60\n");
  struct Case {
    std::vector<std::string> args;
    bool sends;
  };
  const Case cases[] = {
      {{"settings"}, false},
      {{"about"}, false},
      {{"com-port", "2"}, false},
      {{"com-port", "1"}, false},
      {{"upload", pcg}, false},
      {{"bs-list", "--wait", "300"}, true},  // the listener hears discovery when it runs
  };
  DiscoveryPortListener listener;
  ASSERT_TRUE(listener.Ok());
  for (const Case& c : cases) {
    listener.Count(0);
    EXPECT_EQ(RunCommand(c.args), 0) << c.args[0] << "\n" << Dump();
    EXPECT_EQ(listener.Count(200) > 0, c.sends) << c.args[0];
  }
  EXPECT_EQ(TerminalByte(121), 60);
}

TEST_F(CliQuietTest, AClosedStdoutStopsThePrintingNotTheUpload) {
  ASSERT_NO_FATAL_FAILURE(Start({}));
  int output[2], errors[2];
  ASSERT_EQ(pipe2(output, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(errors, O_CLOEXEC), 0);
  const std::string pcg = std::string(QELTA_DATA_DIR) + "/examples/hand_terminal_settings.pcg";
  const std::string settings = "--settings=" + settingsFile;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(output[1], STDOUT_FILENO);
    dup2(errors[1], STDERR_FILENO);
    execl(QELTA_CLI_PROGRAM, "qeltaconfig-cli", settings.c_str(), "upload", pcg.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // The reader is gone before the first row: every write to stdout fails.
  close(output[0]);
  close(output[1]);
  close(errors[1]);
  std::string stderrText;
  char buffer[4096];
  for (ssize_t n; (n = read(errors[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    stderrText.append(buffer, static_cast<std::size_t>(n));
  }
  close(errors[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << stderrText;
  const std::string notice = "standard output cannot be written";
  ASSERT_NE(stderrText.find(notice), std::string::npos) << stderrText;
  EXPECT_EQ(stderrText.find(notice), stderrText.rfind(notice)) << "said once";
  // The last thing the file writes, function key 10 (its text with the line's end and the
  // sending key's carriage return), is in the terminal.
  const std::vector<uint8_t> memory = terminal->Extended();
  const int16_t length = qelta::FunctionKeyLengthAddress(10);
  EXPECT_EQ(memory[static_cast<std::size_t>(length)], 6);
  EXPECT_EQ(std::string(memory.begin() + length + 1, memory.begin() + length + 7), "DONE\n\r");
}

}  // namespace
}  // namespace cli_test

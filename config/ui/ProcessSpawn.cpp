// Starting a program without a shell and without waiting: a double fork, so the program is
// adopted by init and never stays a zombie of ours, and a close-on-exec pipe that carries the
// errno of a failed exec back to the caller.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ui/UiPort.h"

namespace qelta {

int SpawnDetached(const ProcessRequest& request) {
  if (request.argv.empty() || request.argv[0].empty()) return ENOENT;
  // Everything the children use is prepared before fork: only async-signal-safe calls after it.
  std::vector<char*> args;
  args.reserve(request.argv.size() + 1);
  for (const auto& a : request.argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const char* dir = request.workingDir.empty() ? nullptr : request.workingDir.c_str();
  struct sigaction defaultPipe {};
  defaultPipe.sa_handler = SIG_DFL;
  sigemptyset(&defaultPipe.sa_mask);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return errno;
  pid_t middle = fork();
  if (middle < 0) {
    int e = errno;
    close(fds[0]);
    close(fds[1]);
    return e;
  }
  if (middle == 0) {
    close(fds[0]);
    pid_t child = fork();
    if (child < 0) {
      int e = errno;
      (void)!write(fds[1], &e, sizeof e);
      _exit(1);
    }
    if (child == 0) {
      setsid();
      // The command line ignores SIGPIPE for itself; a program it starts gets the default back.
      sigaction(SIGPIPE, &defaultPipe, nullptr);
      if (dir && chdir(dir) != 0) {
        int e = errno;
        (void)!write(fds[1], &e, sizeof e);
        _exit(127);
      }
      execvp(args[0], args.data());
      int e = errno;
      (void)!write(fds[1], &e, sizeof e);
      _exit(127);
    }
    _exit(0);
  }
  close(fds[1]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int childError = 0;
  ssize_t n;
  do {
    n = read(fds[0], &childError, sizeof childError);
  } while (n < 0 && errno == EINTR);
  close(fds[0]);
  if (n == static_cast<ssize_t>(sizeof childError)) return childError ? childError : EIO;
  return 0;
}

}  // namespace qelta

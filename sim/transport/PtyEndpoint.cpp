#include "transport/PtyEndpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qelta::sim {

PtyEndpoint::PtyEndpoint() {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    error_ = std::string("posix_openpt: ") + std::strerror(errno);
    return;
  }
  char name[128] = {};
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    error_ = std::string("pty set-up: ") + std::strerror(errno);
    close(master);
    return;
  }
  // Holding the slave open keeps the line alive while the link closes and reopens it (otherwise
  // the master would see a hang-up after every close).
  int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave < 0) {
    error_ = std::string("open ") + name + ": " + std::strerror(errno);
    close(master);
    return;
  }
  termios tio{};
  if (tcgetattr(slave, &tio) == 0) {
    cfmakeraw(&tio);
    cfsetspeed(&tio, B19200);
    tcsetattr(slave, TCSANOW, &tio);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  master_ = master;
  slave_keepalive_ = slave;
  slave_path_ = name;
}

PtyEndpoint::~PtyEndpoint() { HangUp(); }

long PtyEndpoint::Read(std::uint8_t* buffer, std::size_t size) {
  if (master_ < 0) return -1;
  for (;;) {
    ssize_t n = read(master_, buffer, size);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno == EINTR) continue;
    // EAGAIN: nothing waits; EIO: no slave is open right now, which cannot last while we hold
    // one, so it is treated as nothing to read too.
    if (n < 0 && (errno == EAGAIN || errno == EIO)) return 0;
    return n == 0 ? 0 : -1;
  }
}

bool PtyEndpoint::Write(std::span<const std::uint8_t> bytes) {
  if (master_ < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // Nobody drains the line: wait a little, then let the rest fall on the floor like a real
      // serial line would.
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 100) > 0) continue;
      return true;
    }
    return false;
  }
  return true;
}

void PtyEndpoint::HangUp() {
  // Closing the master throws away what the link has not read yet; let it take the last answer
  // first, as a line that drops after a frame would have delivered it. Written bytes reach the
  // slave's queue through the kernel's buffer work, which a busy machine may run late: a poll of
  // the slave waits for that work, so the count of waiting bytes is true afterwards.
  for (int i = 0; i < 200 && slave_keepalive_ >= 0; ++i) {
    pollfd p{slave_keepalive_, POLLIN, 0};
    poll(&p, 1, 0);
    int waiting = 0;
    if (ioctl(slave_keepalive_, FIONREAD, &waiting) != 0 || waiting == 0) break;
    usleep(10000);
  }
  if (slave_keepalive_ >= 0) close(slave_keepalive_);
  if (master_ >= 0) close(master_);
  slave_keepalive_ = -1;
  master_ = -1;
}

}  // namespace qelta::sim

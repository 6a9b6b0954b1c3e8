// Serial port on a POSIX terminal device: termios raw mode, exclusive use (flock, a lock file and
// TIOCEXCL), modem lines through ioctl, and a poll() wait that an eventfd cancels. CTS changes are
// found by polling the modem status every few milliseconds while waiting, which works on every
// driver (TIOCMIWAIT does not).
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "halvex/SerialPort.h"
#include "platform/PortLock.h"

namespace halvex {
namespace {

constexpr int kCtsPollMs = 5;

bool BaudToSpeed(int baud, speed_t* speed) {
  switch (baud) {
    case 300:
      *speed = B300;
      return true;
    case 600:
      *speed = B600;
      return true;
    case 1200:
      *speed = B1200;
      return true;
    case 2400:
      *speed = B2400;
      return true;
    case 4800:
      *speed = B4800;
      return true;
    case 9600:
      *speed = B9600;
      return true;
    case 19200:
      *speed = B19200;
      return true;
    case 38400:
      *speed = B38400;
      return true;
    case 57600:
      *speed = B57600;
      return true;
    case 115200:
      *speed = B115200;
      return true;
    case 230400:
      *speed = B230400;
      return true;
    default:
      return false;
  }
}

class PosixSerialPort final : public SerialPort {
 public:
  PosixSerialPort(int fd, std::unique_ptr<PortLockFile> lockFile)
      : fd_(fd), lockFile_(std::move(lockFile)) {
    int lines = 0;
    hasModemLines_ = ::ioctl(fd_, TIOCMGET, &lines) == 0;
    lastCts_ = hasModemLines_ && (lines & TIOCM_CTS) != 0;
  }
  ~PosixSerialPort() override {
    if (cancelFd_ >= 0) ::close(cancelFd_);
    ::ioctl(fd_, TIOCNXCL);  // the next open, ours or another program's, may have the line
    ::close(fd_);            // and with it the flock
    lockFile_.reset();
  }

  bool ReadLineSettings() override { return ::tcgetattr(fd_, &settings_) == 0; }

  bool ApplyLineSettings(int baud) override {
    speed_t speed;
    if (!BaudToSpeed(baud, &speed)) return false;
    termios t = settings_;
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT | PARMRK);
    for (auto& c : t.c_cc) c = 0;  // no special characters; VMIN = VTIME = 0
    if (::cfsetispeed(&t, speed) != 0 || ::cfsetospeed(&t, speed) != 0) return false;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
    settings_ = t;
    if (hasModemLines_) {
      int dtr = TIOCM_DTR;
      ::ioctl(fd_, TIOCMBIC, &dtr);  // DTR is not used by the devices
    }
    return true;
  }

  bool EnableEvents() override {
    if (cancelFd_ < 0) cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return cancelFd_ >= 0;
  }

  bool SetImmediateReads() override {
    const int flags = ::fcntl(fd_, F_GETFL);
    return flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) == 0;
  }

  bool HasModemLines() const override { return hasModemLines_; }

  bool SetRts(bool on) override {
    if (!hasModemLines_) return false;
    int rts = TIOCM_RTS;
    return ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &rts) == 0;
  }

  bool GetCts(bool* on) override {
    int lines = 0;
    if (!hasModemLines_ || ::ioctl(fd_, TIOCMGET, &lines) != 0) return false;
    *on = (lines & TIOCM_CTS) != 0;
    return true;
  }

  long Read(uint8_t* buf, size_t n) override {
    if (Cancelled()) return -1;
    const ssize_t r = ::read(fd_, buf, n);
    if (r >= 0) return static_cast<long>(r);
    return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
  }

  WriteResult Write(const uint8_t* buf, size_t n) override {
    WriteResult result;
    while (result.written < n) {
      const ssize_t w = ::write(fd_, buf + result.written, n - result.written);
      if (w > 0) {
        result.written += static_cast<size_t>(w);
        continue;
      }
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
      result.completedAtOnce = false;
      pollfd fds[2] = {{fd_, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
      const int r = ::poll(fds, cancelFd_ >= 0 ? 2 : 1, 1000);
      if (r < 0 && errno != EINTR) break;
      if (r > 0 && ((fds[1].revents & POLLIN) || (fds[0].revents & (POLLERR | POLLHUP)))) break;
    }
    return result;
  }

  unsigned Wait(int timeoutMs) override {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
      int slice = timeoutMs < 0 ? -1 : timeoutMs;
      if (hasModemLines_) {
        if (timeoutMs >= 0) {
          const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now())
                                .count();
          slice = left < kCtsPollMs ? static_cast<int>(left < 0 ? 0 : left) : kCtsPollMs;
        } else {
          slice = kCtsPollMs;
        }
      }
      pollfd fds[2] = {{fd_, POLLIN, 0}, {cancelFd_, POLLIN, 0}};
      const int r = ::poll(fds, cancelFd_ >= 0 ? 2 : 1, slice);
      if (r < 0 && errno != EINTR) return kError;
      unsigned events = kNone;
      if (r > 0) {
        if (fds[1].revents & POLLIN) return kCancelled;
        if (fds[0].revents & POLLIN)
          events |= kData;
        else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
          events |= kError;
      }
      if (hasModemLines_) {
        bool cts = false;
        if (GetCts(&cts) && cts != lastCts_) {
          lastCts_ = cts;
          events |= kCtsChange;
        }
      }
      if (events != kNone) return events;
      if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return kNone;
    }
  }

  void Cancel() override {
    if (cancelFd_ < 0) cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (cancelFd_ >= 0) {
      const uint64_t one = 1;
      [[maybe_unused]] ssize_t w = ::write(cancelFd_, &one, sizeof one);
    }
  }

  void Purge(bool tx, bool rx) override {
    if (tx && rx)
      ::tcflush(fd_, TCIOFLUSH);
    else if (tx)
      ::tcflush(fd_, TCOFLUSH);
    else if (rx)
      ::tcflush(fd_, TCIFLUSH);
  }

 private:
  bool Cancelled() const {
    if (cancelFd_ < 0) return false;
    pollfd p{cancelFd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
  }

  int fd_;
  std::unique_ptr<PortLockFile> lockFile_;
  int cancelFd_ = -1;
  bool hasModemLines_ = false;
  bool lastCts_ = false;
  termios settings_{};
};

std::mutex& LockFolderMutex() {
  static std::mutex m;
  return m;
}

std::string& LockFolder() {
  static std::string folder = "/run/lock";
  return folder;
}

std::string CurrentLockFolder() {
  std::lock_guard hold(LockFolderMutex());
  return LockFolder();
}

// The owner a lock file names, for the busy text.
pid_t LockOwner(const std::string& folder, const std::string& device) {
  return folder.empty() ? 0 : LockFileOwner(folder + "/" + LockFileName(device));
}

}  // namespace

void SetSerialLockFolder(const std::string& folder) {
  std::lock_guard hold(LockFolderMutex());
  LockFolder() = folder;
}

std::unique_ptr<SerialPort> OpenPosixSerialPort(const std::string& path,
                                                SerialOpenFailure* failure) {
  using Kind = SerialOpenFailure::Kind;
  auto fail = [failure](Kind kind, std::string text) -> std::unique_ptr<SerialPort> {
    if (failure) *failure = SerialOpenFailure{kind, std::move(text)};
    return nullptr;
  };
  const std::string folder = CurrentLockFolder();
  // Lock files go by the device's own name, so that /dev/serial/by-id/... and /dev/ttyUSB0 meet.
  char resolved[PATH_MAX];
  const std::string device = ::realpath(path.c_str(), resolved) ? resolved : path;

  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    // EBUSY: the TIOCEXCL of another program.
    if (e == EBUSY) return fail(Kind::kBusy, PortBusyText(LockOwner(folder, device)));
    if (e == EACCES || e == EPERM)
      return fail(Kind::kPermission, PermissionDeniedText(DeviceGroup(device)));
    return fail(Kind::kOther, std::strerror(e));
  }
  // The port is claimed before TIOCEXCL is set: setting (and on failure clearing) it on a port
  // that another program holds would take its exclusivity away.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return fail(Kind::kBusy, PortBusyText(LockOwner(folder, device)));
  }
  auto lockFile = std::make_unique<PortLockFile>();
  pid_t owner = 0;
  if (!folder.empty() && lockFile->Take(folder, device, owner) == PortLockFile::Result::kHeld) {
    ::close(fd);
    return fail(Kind::kBusy, PortBusyText(owner));
  }
  // A device that is not a terminal refuses this; the line-settings step then reports it.
  ::ioctl(fd, TIOCEXCL);
  return std::make_unique<PosixSerialPort>(fd, std::move(lockFile));
}

}  // namespace halvex

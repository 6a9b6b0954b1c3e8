#include "platform/PortLock.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace halvex {
namespace {

bool Alive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

std::string LockContent(pid_t pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
  return text;
}

}  // namespace

std::string LockFileName(const std::string& devicePath) {
  std::string name = devicePath;
  if (name.rfind("/dev/", 0) == 0) {
    name.erase(0, 5);
  } else if (const size_t slash = name.rfind('/'); slash != std::string::npos) {
    name.erase(0, slash + 1);
  }
  for (char& c : name)
    if (c == '/') c = '_';
  return "LCK.." + name;
}

pid_t LockFileOwner(const std::string& lockPath) {
  const int fd = ::open(lockPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return 0;
  char text[32] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return 0;
  constexpr long kPidLimit = 0x3FFFFFFF;
  // Older programs write the PID as four binary bytes in the machine's order. Such a PID always
  // has a byte that no text form holds (its top byte is 0), so four bytes of digits, blanks and
  // line ends are still read as text.
  const auto textByte = [](char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '\n'; };
  if (n == static_cast<ssize_t>(sizeof(int32_t)) && !std::all_of(text, text + n, textByte)) {
    int32_t binary = 0;
    std::memcpy(&binary, text, sizeof binary);
    return binary > 0 && binary <= kPidLimit ? static_cast<pid_t>(binary) : 0;
  }
  long pid = 0;
  size_t i = 0;
  while (i < static_cast<size_t>(n) && text[i] == ' ') ++i;
  const size_t first = i;
  for (; i < static_cast<size_t>(n) && text[i] >= '0' && text[i] <= '9'; ++i) {
    pid = pid * 10 + (text[i] - '0');
    if (pid > kPidLimit) return 0;
  }
  if (i == first) return 0;
  return static_cast<pid_t>(pid);
}

PortLockFile::Result PortLockFile::Take(const std::string& folder, const std::string& devicePath,
                                        pid_t& owner) {
  static std::atomic<unsigned> serial{0};
  Release();
  owner = 0;
  const pid_t self = ::getpid();
  const std::string path = folder + "/" + LockFileName(devicePath);
  const std::string content = LockContent(self);
  // Written whole under a private name, then linked to the lock name: a reader never sees a
  // half-written PID, and link() fails when the lock file is there already.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::string temp =
        folder + "/.LTMP." + std::to_string(self) + "." + std::to_string(serial++);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return Result::kUnavailable;
    const bool written =
        ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    const int linked = written ? ::link(temp.c_str(), path.c_str()) : -1;
    const int error = errno;
    ::unlink(temp.c_str());
    if (!written) return Result::kUnavailable;
    if (linked == 0) {
      path_ = path;
      return Result::kTaken;
    }
    if (error != EEXIST) return Result::kUnavailable;
    const pid_t holder = LockFileOwner(path);
    // A file of this very process is left over: the device's own lock was free, so no port
    // object here holds it.
    if (holder > 0 && holder != self && Alive(holder)) {
      owner = holder;
      return Result::kHeld;
    }
    ::unlink(path.c_str());  // stale: its process is gone, or it names none
  }
  return Result::kUnavailable;
}

void PortLockFile::Release() {
  if (path_.empty()) return;
  if (LockFileOwner(path_) == ::getpid()) ::unlink(path_.c_str());
  path_.clear();
}

std::string PortBusyText(pid_t owner) {
  return owner > 0 ? "port is busy (used by PID " + std::to_string(owner) + ")" : "port is busy";
}

std::string PermissionDeniedText(const std::string& group) {
  if (group.empty()) return "permission denied";
  return "permission denied: join the group " + group + " (sudo adduser $USER " + group +
         "), then log in again";
}

std::string DeviceGroup(const std::string& devicePath) {
  struct stat st {};
  if (::stat(devicePath.c_str(), &st) != 0 || st.st_gid == 0) return {};
  std::vector<char> buffer(4096);
  group entry{};
  group* found = nullptr;
  if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return {};
  return found->gr_name;
}

}  // namespace halvex

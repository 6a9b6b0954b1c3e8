#include "core/FileAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

namespace {

int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Opens `path` with `flags` and O_NONBLOCK, so that a FIFO without a peer never holds the
// program up, and keeps the descriptor only when it is a regular file: fd or -errno.
int OpenRegular(const std::string& path, int flags, mode_t mode) {
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -errno;
  struct stat st {};
  int e = 0;
  if (fstat(fd, &st) != 0) {
    e = errno;
  } else if (S_ISDIR(st.st_mode)) {
    e = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    e = kNotRegularFile;
  }
  if (e != 0) {
    close(fd);
    return -e;
  }
  return fd;
}

}  // namespace

int PosixFileAccess::ReadFile(const std::string& path, std::string& out, std::size_t limit) {
  return halvex::ReadWholeFile(path, limit, out);
}

std::string PosixFileAccess::ResolveLinks(const std::string& path) {
  std::string current = path;
  // As many steps as the kernel follows before it gives ELOOP.
  for (int step = 0; step < 40; ++step) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
    const ssize_t n = readlink(current.c_str(), target.data(), target.size() - 1);
    if (n < 0) return current;
    std::string next(target.data(), static_cast<std::size_t>(n));
    if (next.empty()) return current;
    if (next[0] != '/') {
      const std::size_t slash = current.rfind('/');
      if (slash != std::string::npos) next = current.substr(0, slash + 1) + next;
    }
    current = next;
  }
  return current;
}

int PosixFileAccess::WriteFileAtomic(const std::string& path, const std::string& data,
                                     mode_t mode) {
  // A link stays a link: its target is what gets replaced. Anything but a regular file (or
  // nothing) at the target is refused, so a device node is never turned into a file.
  const std::string target = ResolveLinks(path);
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (S_ISLNK(st.st_mode)) return ELOOP;
    if (!S_ISREG(st.st_mode)) return kNotRegularFile;
  } else if (errno != ENOENT) {
    return errno;
  }
  // The temporary file sits beside the target so that rename() replaces it in one step.
  std::random_device rd;
  std::string tmp = target + ".tmp." + std::to_string(getpid()) + "." + std::to_string(rd());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd < 0) return errno;
  int e = WriteAll(fd, data.data(), data.size());
  if (e == 0 && fchmod(fd, mode) != 0) e = errno;
  if (e == 0 && fsync(fd) != 0) e = errno;
  if (close(fd) != 0 && e == 0) e = errno;
  if (e == 0 && rename(tmp.c_str(), target.c_str()) != 0) e = errno;
  if (e != 0) unlink(tmp.c_str());
  return e;
}

int PosixFileAccess::MakeDirs(const std::string& dir, mode_t mode) {
  if (dir.empty()) return ENOENT;
  std::string partial;
  std::size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    partial = dir.substr(0, pos);
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return errno;
  }
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int PosixFileAccess::AppendFile(const std::string& path, const std::string& data, mode_t mode) {
  const int fd = OpenRegular(path, O_WRONLY | O_CREAT | O_APPEND, mode);
  if (fd < 0) return -fd;
  int e = WriteAll(fd, data.data(), data.size());
  if (close(fd) != 0 && e == 0) e = errno;
  return e;
}

bool PosixFileAccess::Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

bool PosixFileAccess::IsWritableDir(const std::string& dir) {
  struct stat st {};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK) == 0;
}

std::vector<std::string> PosixFileAccess::ListFiles(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    std::string full = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + name;
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
  }
  closedir(d);
  return names;
}

int PosixFileAccess::CopyFile(const std::string& from, const std::string& to, mode_t mode) {
  std::string data;
  // Data files are small text files and images; 64 MiB is far above any of them.
  int e = ReadFile(from, data, std::size_t{64} << 20);
  if (e != 0) return e;
  return WriteFileAtomic(to, data, mode);
}

FileLock::~FileLock() {
  if (fd_ >= 0) close(fd_);  // closing the descriptor releases the lock
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

int PosixFileAccess::Lock(const std::string& path, mode_t mode, int waitMs, FileLock& lock) {
  const int fd = OpenRegular(path, O_RDWR | O_CREAT | O_NOFOLLOW, mode);
  if (fd < 0) return -fd;
  // flock belongs to the open file description, so two threads of one program exclude each
  // other as two programs do. Polled, so that a holder that hangs costs a bounded wait.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    const int e = errno;
    if (e != EWOULDBLOCK && e != EINTR) {
      close(fd);
      return e;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      close(fd);
      return EWOULDBLOCK;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  lock = FileLock(fd);
  return 0;
}

IFileAccess& RealFileAccess() {
  static PosixFileAccess files;
  return files;
}

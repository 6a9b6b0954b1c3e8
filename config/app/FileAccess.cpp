#include "app/FileAccess.h"

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

}  // namespace

int PosixFileAccess::ReadFile(const std::string& path, std::string& out, std::size_t limit) {
  out.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    int e = errno;
    close(fd);
    return e;
  }
  if (S_ISDIR(st.st_mode)) {
    close(fd);
    return EISDIR;
  }
  char buf[4096];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      close(fd);
      out.clear();
      return e;
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > limit) {
      close(fd);
      out.clear();
      return EFBIG;
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return 0;
}

int PosixFileAccess::WriteFileAtomic(const std::string& path, const std::string& data,
                                     mode_t mode) {
  // The temporary file sits beside the target so that rename() replaces it in one step.
  std::random_device rd;
  std::string tmp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(rd());
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return errno;
  int e = WriteAll(fd, data.data(), data.size());
  if (e == 0 && fchmod(fd, mode) != 0) e = errno;
  if (e == 0 && fsync(fd) != 0) e = errno;
  if (close(fd) != 0 && e == 0) e = errno;
  if (e == 0 && rename(tmp.c_str(), path.c_str()) != 0) e = errno;
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
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode);
  if (fd < 0) return errno;
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
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, mode);
  if (fd < 0) return errno;
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

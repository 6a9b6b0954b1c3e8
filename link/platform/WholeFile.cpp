#include "halvex/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/MemoryFile.h"

namespace halvex {
namespace {

std::string SizeText(std::size_t bytes) {
  constexpr std::size_t kKiB = 1024;
  constexpr std::size_t kMiB = kKiB * kKiB;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  if (bytes >= kKiB && bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + " bytes";
}

}  // namespace

int ReadWholeFile(const std::string& path, std::size_t limit, std::string& out) {
  out.clear();
  // O_NONBLOCK: opening a FIFO must not wait for a writer; the type check below refuses it.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  int e = 0;
  if (::fstat(fd, &st) != 0) {
    e = errno;
  } else if (S_ISDIR(st.st_mode)) {
    e = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    e = kNotRegularFile;
  } else if (static_cast<unsigned long long>(st.st_size) > limit) {
    e = EFBIG;
  }
  char buffer[4096];
  while (e == 0) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      e = errno;
    } else if (n == 0) {
      break;
    } else if (out.size() + static_cast<std::size_t>(n) > limit) {
      e = EFBIG;  // it grew while it was read
    } else {
      out.append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  if (e != 0) out.clear();
  return e;
}

int WriteWholeFile(const std::string& path, const std::string& data) {
  // Truncated only once it is known to be a regular file.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  struct stat st {};
  int e = 0;
  if (::fstat(fd, &st) != 0) {
    e = errno;
  } else if (!S_ISREG(st.st_mode)) {
    e = kNotRegularFile;
  } else if (::ftruncate(fd, 0) != 0) {
    e = errno;
  }
  size_t done = 0;
  while (e == 0 && done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      e = errno;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  if (::close(fd) != 0 && e == 0) e = errno;
  return e;
}

std::string WholeFileErrorText(int error, std::size_t limit) {
  if (error == EFBIG) return "file is larger than " + SizeText(limit);
  if (error == kNotRegularFile) return "not a regular file";
  return std::strerror(error);
}

MemoryFile OpenMemoryFile(const std::string& bytes) {
  if (bytes.empty()) return nullptr;
  return MemoryFile(::fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r"));
}

}  // namespace halvex

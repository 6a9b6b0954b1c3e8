#include "params/ReadoutTarget.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace qelta {

ReadoutTarget::~ReadoutTarget() { Abandon(); }

int ReadoutTarget::Open(const std::string& path) {
  Abandon();
  // Non-blocking: a FIFO without a reader fails at once instead of holding the form.
  const int flags = O_WRONLY | O_CLOEXEC | O_NONBLOCK;
  int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
  created_ = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = open(path.c_str(), flags);
  if (fd < 0) return errno;
  path_ = path;
  fd_ = fd;
  return 0;
}

bool ReadoutTarget::Commit(const std::string& content) {
  if (fd_ < 0) return false;
  bool ok = ftruncate(fd_, 0) == 0 || errno == EINVAL;  // a device node cannot be cut: fine
  for (std::size_t done = 0; ok && done < content.size();) {
    const ssize_t n = write(fd_, content.data() + done, content.size() - done);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = Close() && ok;
  created_ = false;  // the file is the result now, even a short one (a failure row says so)
  return ok;
}

void ReadoutTarget::Abandon() {
  if (fd_ < 0) return;
  Close();
  if (created_) unlink(path_.c_str());
  created_ = false;
}

bool ReadoutTarget::Close() {
  const int fd = fd_;
  fd_ = -1;
  return fd < 0 || close(fd) == 0;
}

}  // namespace qelta

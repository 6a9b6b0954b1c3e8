// The file a read-out is written to. It is opened before the device is read, so that a path that
// cannot be written is told at once, but nothing in it changes until the whole read-out is there:
// a failed read-out leaves an existing file as it was and removes a file it created itself.
#pragma once

#include <string>

namespace qelta {

class ReadoutTarget {
 public:
  ReadoutTarget() = default;
  ~ReadoutTarget();
  ReadoutTarget(const ReadoutTarget&) = delete;
  ReadoutTarget& operator=(const ReadoutTarget&) = delete;

  // Opens (or creates) the file for writing without emptying it: 0 or errno.
  int Open(const std::string& path);
  // Replaces the file's contents: false when it could not all be written.
  bool Commit(const std::string& content);
  // Leaves the file as it was before Open (removing it if Open created it).
  void Abandon();

 private:
  bool Close();
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
};

}  // namespace qelta

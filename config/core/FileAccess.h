// File access for the settings store, the working folder and the text files the program reads,
// behind an interface so tests can make reads and writes fail. Results are 0 or an errno value.
//
// Only regular files are read or written: a device node, a FIFO or a socket where a file is
// expected gives kNotRegularFile (a folder EISDIR) at once, never a wait and never a write to the
// device. A symbolic link is followed: its target is read, or replaced in the target's folder
// while the link stays.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "halvex/WholeFile.h"

// The result for a path that names something other than a regular file or a folder.
inline constexpr int kNotRegularFile = halvex::kNotRegularFile;

// A failure as the user reads it: "file is larger than 1 MiB" (EFBIG, with `limit`), "not a
// regular file", otherwise the system's text for the errno value.
inline std::string FileErrorText(int error, std::size_t limit) {
  return halvex::WholeFileErrorText(error, limit);
}

// An exclusive advisory lock on a lock file, held until the object goes.
class FileLock {
 public:
  FileLock() = default;
  explicit FileLock(int fd) : fd_(fd) {}
  ~FileLock();
  FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

class IFileAccess {
 public:
  virtual ~IFileAccess() = default;
  // Reads a whole regular file. EFBIG when it is larger than `limit` bytes.
  virtual int ReadFile(const std::string& path, std::string& out, std::size_t limit) = 0;
  // Replaces the file atomically (temporary file in the same folder, fsync, rename) with `mode`.
  // A missing file is created; a link's target is replaced, the link kept.
  virtual int WriteFileAtomic(const std::string& path, const std::string& data, mode_t mode) = 0;
  // Creates a folder and its parents (existing ones are fine).
  virtual int MakeDirs(const std::string& dir, mode_t mode) = 0;
  // Appends to a file, creating it with `mode` when missing.
  virtual int AppendFile(const std::string& path, const std::string& data, mode_t mode) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual bool IsWritableDir(const std::string& dir) = 0;
  // Names (not paths) of the regular files in a folder; empty when it cannot be read.
  virtual std::vector<std::string> ListFiles(const std::string& dir) = 0;
  virtual int CopyFile(const std::string& from, const std::string& to, mode_t mode) = 0;
  // Takes an exclusive lock on `path` (created with `mode` when missing), waiting at most
  // `waitMs` for another holder, in this process or another: 0 or errno (EWOULDBLOCK when the
  // holder kept it).
  virtual int Lock(const std::string& path, mode_t mode, int waitMs, FileLock& lock) = 0;
  // The path with symbolic links of its last part followed to what they name (which may not
  // exist yet); the path itself when it is no link.
  virtual std::string ResolveLinks(const std::string& path) = 0;
};

class PosixFileAccess : public IFileAccess {
 public:
  int ReadFile(const std::string& path, std::string& out, std::size_t limit) override;
  int WriteFileAtomic(const std::string& path, const std::string& data, mode_t mode) override;
  int MakeDirs(const std::string& dir, mode_t mode) override;
  int AppendFile(const std::string& path, const std::string& data, mode_t mode) override;
  bool Exists(const std::string& path) override;
  bool IsWritableDir(const std::string& dir) override;
  std::vector<std::string> ListFiles(const std::string& dir) override;
  int CopyFile(const std::string& from, const std::string& to, mode_t mode) override;
  int Lock(const std::string& path, mode_t mode, int waitMs, FileLock& lock) override;
  std::string ResolveLinks(const std::string& path) override;
};

// The process-wide real file access.
IFileAccess& RealFileAccess();

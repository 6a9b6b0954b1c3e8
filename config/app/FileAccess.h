// File access for the settings store and the working folder, behind an interface so tests can
// make reads and writes fail. Results are 0 or an errno value.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

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
  // Reads a whole file. EFBIG when it is larger than `limit` bytes.
  virtual int ReadFile(const std::string& path, std::string& out, std::size_t limit) = 0;
  // Replaces the file atomically (temporary file in the same folder, fsync, rename) with `mode`.
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
};

// The process-wide real file access.
IFileAccess& RealFileAccess();

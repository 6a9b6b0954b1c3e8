// The fuzz input as a file, for code that opens its input by name: an anonymous memory file
// (nothing reaches a disk), or a named file in a scratch folder of the target's own when the code
// looks for a fixed file name. Both abort when the system refuses them: a target that silently
// fuzzed nothing would look like a clean run.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace qelta::fuzz {

class MemoryFile {
 public:
  MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("fuzz-input", MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    for (size_t done = 0; done < size;) {
      const ssize_t n = write(fd_, data + done, size - done);
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  // Opening this path opens the memory file afresh, at its first byte.
  const std::string& Path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// One temporary folder per process, removed when the process ends normally.
class ScratchFolder {
 public:
  static ScratchFolder& Get() {
    static ScratchFolder folder;
    return folder;
  }
  // The folder's path, with a trailing '/'.
  const std::string& Dir() const { return dir_; }

  std::string Write(const std::string& name, const uint8_t* data, size_t size) const {
    const std::string path = dir_ + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) std::abort();
    return path;
  }

 private:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qelta-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern + "/";
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_;
};

// Aborts with a note when a promise of the code under test is broken.
[[noreturn]] inline void Broken(const char* promise) {
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}
inline void Expect(bool holds, const char* promise) {
  if (!holds) Broken(promise);
}

}  // namespace qelta::fuzz

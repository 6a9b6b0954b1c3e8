// A C stdio file closed when it goes out of scope.
#pragma once

#include <cstdio>
#include <string>

namespace qelta::network {

class ScopedFile {
 public:
  ScopedFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
  ~ScopedFile() { Close(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  FILE* get() const { return file_; }
  void Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }

 private:
  FILE* file_;
};

}  // namespace qelta::network

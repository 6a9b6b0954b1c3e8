// A read-only stdio stream over bytes in memory, for the readers that take a FILE*.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace halvex {

struct MemoryFileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};
// A stream over `bytes`, which must outlive it; null for no bytes.
using MemoryFile = std::unique_ptr<std::FILE, MemoryFileCloser>;
MemoryFile OpenMemoryFile(const std::string& bytes);

}  // namespace halvex

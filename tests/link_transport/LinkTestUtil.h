// Small helpers shared by the transport suites.
#pragma once

#include <dirent.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace halvex::test {

inline std::vector<int16_t> Elements(const std::vector<uint8_t>& bytes) {
  return std::vector<int16_t>(bytes.begin(), bytes.end());
}

inline int ThreadCount() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') ++n;
    }
    ::closedir(d);
  }
  return n;
}

class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  long long Ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

}  // namespace halvex::test

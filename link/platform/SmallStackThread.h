// A thread with a small stack of a given size. The link's Send worker needs little stack; with the
// default one (8 MiB) every link object's start and end maps and unmaps a large stack, which the
// C library no longer keeps for reuse once a few are in use (a run over many base stations makes a
// link object per worker).
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace halvex {

class SmallStackThread {
 public:
  SmallStackThread() = default;
  ~SmallStackThread() { Join(); }
  SmallStackThread(const SmallStackThread&) = delete;
  SmallStackThread& operator=(const SmallStackThread&) = delete;

  // Runs `body` on a new thread with a stack of `stackBytes` (the system's default stack when
  // that size cannot be had). Throws std::system_error, as std::thread does, when no thread can
  // be started at all.
  void Start(std::function<void()> body, std::size_t stackBytes);
  bool Joinable() const { return running_; }
  void Join();

 private:
  static void* Entry(void* self);

  std::function<void()> body_;
  pthread_t id_{};
  bool running_ = false;
};

}  // namespace halvex

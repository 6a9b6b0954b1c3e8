// A thread with a small stack of a chosen size. A worker that needs little stack (the link's Send
// worker, a host's per-device worker) should not map the system's default stack (8 MiB): the C
// library keeps only a few stacks for reuse, so a program that starts and ends many such threads
// at once would map and unmap a large stack for each.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace halvex {

class SmallStackThread {
 public:
  static constexpr std::size_t kSmallStackBytes = 512 * 1024;

  SmallStackThread();
  // Waits for a thread that still runs.
  ~SmallStackThread();
  SmallStackThread(const SmallStackThread&) = delete;
  SmallStackThread& operator=(const SmallStackThread&) = delete;

  // Waits for a thread started before, then runs `body` on a new thread with a stack of
  // `stackBytes` (the system's default stack when that size cannot be had). False when no thread
  // could be started at all: `body` has not run and will not, and the caller does the work
  // itself or reports the failure.
  bool Start(std::function<void()> body, std::size_t stackBytes = kSmallStackBytes);
  // A thread was started and has not been waited for.
  bool Joinable() const;
  // Waits for the thread to end; nothing to do when none runs.
  void Join();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace halvex

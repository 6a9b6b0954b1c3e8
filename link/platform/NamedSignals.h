// Process-wide named events and named mutexes. Objects created under the same name are the same
// object, so every link object in the process shares "busconf", "conffrank" and "receventti". An
// object lives while any handle (shared_ptr) to it exists; after that the name is free again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace halvex {

class NamedEvent {
 public:
  // Returns the existing event of that name (its reset kind and state unchanged), or a new one.
  // An empty name makes an unnamed event.
  static std::shared_ptr<NamedEvent> Create(const std::string& name, bool manualReset,
                                            bool initialState);
  // The existing event of that name, or nullptr.
  static std::shared_ptr<NamedEvent> Open(const std::string& name);

  NamedEvent(bool manualReset, bool initialState)
      : manualReset_(manualReset), signalled_(initialState) {}

  // A waiting thread's own wake-up: Wake() ends that thread's wait and no other's (a Set wakes
  // every waiter, which with many link objects sharing "busconf" costs a wake-up of each).
  class Waiter {
   private:
    friend class NamedEvent;
    std::condition_variable cv;
    bool woken = false;
  };

  void Set();
  void Reset();
  // Set, then reset: wakes whoever waits now and leaves the event non-signalled.
  void Pulse();
  // Waits up to timeoutMs (< 0: without limit). True when signalled; an auto-reset event is
  // reset by the wait that takes it. A waiter also wakes on a Set that a Reset follows at once.
  bool Wait(int timeoutMs);
  // As Wait, and also ends (false) on Wake(waiter), even one that came before the wait began.
  bool Wait(int timeoutMs, Waiter& waiter);
  void Wake(Waiter& waiter);
  // As Wait, but gives up (false) soon after `abandon` turns true.
  bool WaitUnless(int timeoutMs, const std::atomic<bool>& abandon);
  // A mark for WaitSince: counts the Set calls so far.
  uint64_t Mark() const;
  // As WaitUnless, but a Set after `mark` counts even if it came (and was reset) before the wait
  // began: the caller takes the mark, starts what will set the event, then waits.
  bool WaitSince(uint64_t mark, int timeoutMs, const std::atomic<bool>& abandon);
  bool IsSet() const;

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  const bool manualReset_;
  bool signalled_;
  uint64_t setCount_ = 0;         // counts Set calls so that a pulse is not missed by a waiter
  std::vector<Waiter*> waiters_;  // those waiting with a Waiter of their own
};

class NamedMutex {
 public:
  static std::shared_ptr<NamedMutex> Create(const std::string& name);
  static std::shared_ptr<NamedMutex> Open(const std::string& name);

  // Recursive, owned by the locking thread. timeoutMs < 0 waits without limit.
  bool Lock(int timeoutMs);
  // False when the calling thread does not own it.
  bool Unlock();

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::thread::id owner_;
  int depth_ = 0;
};

}  // namespace halvex

// An event with manual or automatic reset and timed waits: how a link object's caller and its two
// workers hand over to each other ("busconf", "conffrank", "receventti"). Each link object makes
// its own events, so two link objects never wake or hold up each other.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace halvex {

class Event {
 public:
  Event(bool manualReset, bool initialState)
      : manualReset_(manualReset), signalled_(initialState) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // Set, then reset: wakes whoever waits now and leaves the event non-signalled.
  void Pulse();
  // Waits up to timeoutMs (< 0: without limit). True when signalled; an auto-reset event is
  // reset by the wait that takes it. A waiter also wakes on a Set that a Reset follows at once.
  bool Wait(int timeoutMs);
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
  uint64_t setCount_ = 0;  // counts Set calls so that a pulse is not missed by a waiter
};

}  // namespace halvex

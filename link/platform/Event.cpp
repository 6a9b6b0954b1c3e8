#include "platform/Event.h"

#include <algorithm>
#include <chrono>

namespace halvex {

void Event::Set() {
  {
    std::lock_guard lock(m_);
    signalled_ = true;
    ++setCount_;
  }
  cv_.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(m_);
  signalled_ = false;
}

void Event::Pulse() {
  // One step under the lock: a Set and a Reset apart would leave the event signalled for a
  // moment, and on a busy machine every wait begun in that moment would end at once (the serial
  // handshake's looks and its RTS wait among them). Waiters count Sets, so this one is seen.
  {
    std::lock_guard lock(m_);
    signalled_ = false;
    ++setCount_;
  }
  cv_.notify_all();
}

bool Event::Wait(int timeoutMs) {
  std::unique_lock lock(m_);
  const uint64_t seen = setCount_;
  auto ready = [&] { return signalled_ || setCount_ != seen; };
  bool ok;
  if (timeoutMs < 0) {
    cv_.wait(lock, ready);
    ok = true;
  } else {
    ok = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  }
  if (ok && !manualReset_) signalled_ = false;
  return ok;
}

bool Event::WaitUnless(int timeoutMs, const std::atomic<bool>& abandon) {
  return WaitSince(Mark(), timeoutMs, abandon);
}

uint64_t Event::Mark() const {
  std::lock_guard lock(m_);
  return setCount_;
}

bool Event::WaitSince(uint64_t seen, int timeoutMs, const std::atomic<bool>& abandon) {
  constexpr auto kSlice = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(m_);
  for (;;) {
    if (signalled_ || setCount_ != seen) {
      if (!manualReset_) signalled_ = false;
      return true;
    }
    if (abandon.load()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (timeoutMs >= 0 && now >= deadline) return false;
    const auto until = timeoutMs < 0 ? now + kSlice : std::min(deadline, now + kSlice);
    cv_.wait_until(lock, until);
  }
}

bool Event::IsSet() const {
  std::lock_guard lock(m_);
  return signalled_;
}

}  // namespace halvex

#include "platform/NamedSignals.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>

namespace halvex {
namespace {

template <class T>
class Registry {
 public:
  template <class Make>
  std::shared_ptr<T> GetOrCreate(const std::string& name, Make make) {
    if (name.empty()) return make();
    std::lock_guard lock(m_);
    Prune();
    if (auto found = objects_[name].lock()) return found;
    auto made = make();
    objects_[name] = made;
    return made;
  }
  std::shared_ptr<T> Find(const std::string& name) {
    std::lock_guard lock(m_);
    auto it = objects_.find(name);
    return it == objects_.end() ? nullptr : it->second.lock();
  }

 private:
  void Prune() {
    for (auto it = objects_.begin(); it != objects_.end();) {
      it = it->second.expired() ? objects_.erase(it) : std::next(it);
    }
  }
  std::mutex m_;
  std::map<std::string, std::weak_ptr<T>> objects_;
};

Registry<NamedEvent>& Events() {
  static Registry<NamedEvent> r;
  return r;
}
Registry<NamedMutex>& Mutexes() {
  static Registry<NamedMutex> r;
  return r;
}

}  // namespace

std::shared_ptr<NamedEvent> NamedEvent::Create(const std::string& name, bool manualReset,
                                               bool initialState) {
  return Events().GetOrCreate(
      name, [&] { return std::make_shared<NamedEvent>(manualReset, initialState); });
}

std::shared_ptr<NamedEvent> NamedEvent::Open(const std::string& name) {
  return Events().Find(name);
}

void NamedEvent::Set() {
  {
    std::lock_guard lock(m_);
    signalled_ = true;
    ++setCount_;
    for (Waiter* w : waiters_) w->cv.notify_one();
  }
  cv_.notify_all();
}

void NamedEvent::Reset() {
  std::lock_guard lock(m_);
  signalled_ = false;
}

void NamedEvent::Pulse() {
  // One step under the lock: a Set and a Reset apart would leave the event signalled for a
  // moment, and on a busy machine every wait begun in that moment would end at once (the serial
  // handshake's looks and its RTS wait among them). Waiters count Sets, so this one is seen.
  {
    std::lock_guard lock(m_);
    signalled_ = false;
    ++setCount_;
    for (Waiter* w : waiters_) w->cv.notify_one();
  }
  cv_.notify_all();
}

bool NamedEvent::Wait(int timeoutMs) {
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

bool NamedEvent::Wait(int timeoutMs, Waiter& waiter) {
  std::unique_lock lock(m_);
  const uint64_t seen = setCount_;
  auto set = [&] { return signalled_ || setCount_ != seen; };
  auto ready = [&] { return waiter.woken || set(); };
  waiters_.push_back(&waiter);
  if (timeoutMs < 0) {
    waiter.cv.wait(lock, ready);
  } else {
    waiter.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  }
  std::erase(waiters_, &waiter);
  const bool woken = std::exchange(waiter.woken, false);
  if (woken) return false;
  const bool ok = set();
  if (ok && !manualReset_) signalled_ = false;
  return ok;
}

void NamedEvent::Wake(Waiter& waiter) {
  std::lock_guard lock(m_);
  waiter.woken = true;
  waiter.cv.notify_one();
}

bool NamedEvent::WaitUnless(int timeoutMs, const std::atomic<bool>& abandon) {
  return WaitSince(Mark(), timeoutMs, abandon);
}

uint64_t NamedEvent::Mark() const {
  std::lock_guard lock(m_);
  return setCount_;
}

bool NamedEvent::WaitSince(uint64_t seen, int timeoutMs, const std::atomic<bool>& abandon) {
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

bool NamedEvent::IsSet() const {
  std::lock_guard lock(m_);
  return signalled_;
}

std::shared_ptr<NamedMutex> NamedMutex::Create(const std::string& name) {
  return Mutexes().GetOrCreate(name, [] { return std::make_shared<NamedMutex>(); });
}

std::shared_ptr<NamedMutex> NamedMutex::Open(const std::string& name) {
  return Mutexes().Find(name);
}

bool NamedMutex::Lock(int timeoutMs) {
  const auto self = std::this_thread::get_id();
  std::unique_lock lock(m_);
  if (depth_ > 0 && owner_ == self) {
    ++depth_;
    return true;
  }
  auto free = [&] { return depth_ == 0; };
  if (timeoutMs < 0) {
    cv_.wait(lock, free);
  } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), free)) {
    return false;
  }
  owner_ = self;
  depth_ = 1;
  return true;
}

bool NamedMutex::Unlock() {
  {
    std::lock_guard lock(m_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return false;
    if (--depth_ > 0) return true;
    owner_ = {};
  }
  cv_.notify_one();
  return true;
}

}  // namespace halvex

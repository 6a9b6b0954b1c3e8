// Named mutexes shared by every user in the process that opens the same name, with timed waits.
// Like the platform's named kernel mutexes they are recursive for the owning thread.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace qelta::network {

// The shared object behind a name: an owner thread and a recursion count, so that timed waits
// need nothing beyond a plain mutex and a condition variable.
class RecursiveTimedLock {
 public:
  bool TryLockFor(int timeoutMs);
  void Unlock();

 private:
  std::mutex lock_;
  std::condition_variable released_;
  std::thread::id owner_;
  int depth_ = 0;
};

class NamedMutex {
 public:
  // Opens the mutex of this name, creating it (not owned) when nobody holds it open.
  explicit NamedMutex(const std::string& name);
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  const std::string& Name() const { return name_; }
  // Waits at most timeoutMs (0: do not wait); true when taken.
  bool TryLockFor(int timeoutMs);
  void Unlock();

 private:
  std::string name_;
  std::shared_ptr<RecursiveTimedLock> mutex_;
};

// Holds a NamedMutex taken with a timed wait for the life of the guard.
class NamedMutexGuard {
 public:
  NamedMutexGuard(NamedMutex& mutex, int timeoutMs) : mutex_(mutex) {
    owned_ = mutex_.TryLockFor(timeoutMs);
  }
  ~NamedMutexGuard() {
    if (owned_) mutex_.Unlock();
  }
  NamedMutexGuard(const NamedMutexGuard&) = delete;
  NamedMutexGuard& operator=(const NamedMutexGuard&) = delete;
  bool Owned() const { return owned_; }

 private:
  NamedMutex& mutex_;
  bool owned_ = false;
};

}  // namespace qelta::network

#include "network/NamedMutex.h"

#include <chrono>
#include <map>

namespace qelta::network {
namespace {

std::shared_ptr<RecursiveTimedLock> OpenByName(const std::string& name) {
  static std::mutex registryLock;
  static std::map<std::string, std::weak_ptr<RecursiveTimedLock>> registry;
  std::lock_guard<std::mutex> hold(registryLock);
  for (auto it = registry.begin(); it != registry.end();) {
    it = it->second.expired() ? registry.erase(it) : std::next(it);
  }
  auto& slot = registry[name];
  auto mutex = slot.lock();
  if (!mutex) {
    mutex = std::make_shared<RecursiveTimedLock>();
    slot = mutex;
  }
  return mutex;
}

}  // namespace

NamedMutex::NamedMutex(const std::string& name) : name_(name), mutex_(OpenByName(name)) {}

bool RecursiveTimedLock::TryLockFor(int timeoutMs) {
  const auto self = std::this_thread::get_id();
  std::unique_lock<std::mutex> hold(lock_);
  const auto free = [&] { return depth_ == 0 || owner_ == self; };
  if (!free()) {
    if (timeoutMs <= 0) return false;
    if (!released_.wait_for(hold, std::chrono::milliseconds(timeoutMs), free)) return false;
  }
  owner_ = self;
  ++depth_;
  return true;
}

void RecursiveTimedLock::Unlock() {
  std::lock_guard<std::mutex> hold(lock_);
  // Only the owner releases; a stray unlock is ignored rather than freeing another's hold.
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return;
  if (--depth_ == 0) {
    owner_ = std::thread::id();
    released_.notify_all();
  }
}

bool NamedMutex::TryLockFor(int timeoutMs) { return mutex_->TryLockFor(timeoutMs); }

void NamedMutex::Unlock() { mutex_->Unlock(); }

}  // namespace qelta::network

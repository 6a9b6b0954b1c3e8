#include "network/NamedMutex.h"

#include <chrono>
#include <map>

namespace qelta::network {
namespace {

std::shared_ptr<std::recursive_timed_mutex> OpenByName(const std::string& name) {
  static std::mutex registryLock;
  static std::map<std::string, std::weak_ptr<std::recursive_timed_mutex>> registry;
  std::lock_guard<std::mutex> hold(registryLock);
  for (auto it = registry.begin(); it != registry.end();) {
    it = it->second.expired() ? registry.erase(it) : std::next(it);
  }
  auto& slot = registry[name];
  auto mutex = slot.lock();
  if (!mutex) {
    mutex = std::make_shared<std::recursive_timed_mutex>();
    slot = mutex;
  }
  return mutex;
}

}  // namespace

NamedMutex::NamedMutex(const std::string& name) : name_(name), mutex_(OpenByName(name)) {}

bool NamedMutex::TryLockFor(int timeoutMs) {
  if (timeoutMs <= 0) return mutex_->try_lock();
  return mutex_->try_lock_for(std::chrono::milliseconds(timeoutMs));
}

void NamedMutex::Unlock() { mutex_->unlock(); }

}  // namespace qelta::network

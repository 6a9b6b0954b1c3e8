#include "platform/SmallStackThread.h"

#include <system_error>
#include <utility>

namespace halvex {

void* SmallStackThread::Entry(void* self) {
  static_cast<SmallStackThread*>(self)->body_();
  return nullptr;
}

void SmallStackThread::Start(std::function<void()> body, std::size_t stackBytes) {
  Join();
  body_ = std::move(body);
  pthread_attr_t attr;
  int e = pthread_attr_init(&attr);
  if (e == 0) {
    e = pthread_attr_setstacksize(&attr, stackBytes);
    if (e == 0) e = pthread_create(&id_, &attr, Entry, this);
    pthread_attr_destroy(&attr);
  }
  if (e != 0) e = pthread_create(&id_, nullptr, Entry, this);
  if (e != 0) throw std::system_error(e, std::generic_category(), "thread not started");
  running_ = true;
}

void SmallStackThread::Join() {
  if (!running_) return;
  pthread_join(id_, nullptr);
  running_ = false;
}

}  // namespace halvex

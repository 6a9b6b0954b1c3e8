#include "fleet/WorkerThread.h"

#include <utility>

namespace qelta::fleet {

void* WorkerThread::Entry(void* self) {
  static_cast<WorkerThread*>(self)->body_();
  return nullptr;
}

bool WorkerThread::Start(std::function<void()> body, std::size_t stackBytes) {
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
  running_ = e == 0;
  return running_;
}

void WorkerThread::Join() {
  if (!running_) return;
  pthread_join(id_, nullptr);
  running_ = false;
}

}  // namespace qelta::fleet

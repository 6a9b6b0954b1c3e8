#include "halvex/SmallStackThread.h"

#include <pthread.h>

#include <utility>

namespace halvex {

struct SmallStackThread::State {
  static void* Entry(void* self) {
    static_cast<State*>(self)->body();
    return nullptr;
  }

  std::function<void()> body;
  pthread_t id{};
  bool running = false;
};

SmallStackThread::SmallStackThread() : state_(std::make_unique<State>()) {}

SmallStackThread::~SmallStackThread() { Join(); }

bool SmallStackThread::Start(std::function<void()> body, std::size_t stackBytes) {
  Join();
  State& s = *state_;
  s.body = std::move(body);
  pthread_attr_t attr;
  int e = pthread_attr_init(&attr);
  if (e == 0) {
    e = pthread_attr_setstacksize(&attr, stackBytes);
    if (e == 0) e = pthread_create(&s.id, &attr, State::Entry, &s);
    pthread_attr_destroy(&attr);
  }
  if (e != 0) e = pthread_create(&s.id, nullptr, State::Entry, &s);
  s.running = e == 0;
  if (!s.running) s.body = nullptr;
  return s.running;
}

bool SmallStackThread::Joinable() const { return state_->running; }

void SmallStackThread::Join() {
  State& s = *state_;
  if (!s.running) return;
  pthread_join(s.id, nullptr);
  s.running = false;
}

}  // namespace halvex

// A fleet worker's thread, with a stack of its own size. A station's work needs little stack; with
// the default one (8 MiB) a run over many stations at once maps and unmaps a large stack per
// worker, which costs more processor time than the station's own work.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace qelta::fleet {

class WorkerThread {
 public:
  static constexpr std::size_t kStackBytes = 512 * 1024;

  WorkerThread() = default;
  ~WorkerThread() { Join(); }
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Runs `body` on a new thread (the system's default stack when the small one cannot be had);
  // false when no thread could be started.
  bool Start(std::function<void()> body, std::size_t stackBytes = kStackBytes);
  void Join();

 private:
  static void* Entry(void* self);

  std::function<void()> body_;
  pthread_t id_{};
  bool running_ = false;
};

}  // namespace qelta::fleet

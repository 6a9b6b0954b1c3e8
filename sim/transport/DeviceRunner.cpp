#include "transport/DeviceRunner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <optional>

namespace qelta::sim {

namespace {

using Clock = std::chrono::steady_clock;

struct OutgoingAnswer {
  DeviceAnswer answer;
  std::size_t sent = 0;
};

}  // namespace

DeviceRunner::DeviceRunner(SimDevice& device, std::unique_ptr<SerialEndpoint> endpoint)
    : device_(device),
      endpoint_(std::move(endpoint)),
      wake_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

DeviceRunner::~DeviceRunner() {
  Stop();
  if (wake_fd_ >= 0) close(wake_fd_);
}

void DeviceRunner::Start() {
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
}

void DeviceRunner::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  std::uint64_t one = 1;
  (void)!write(wake_fd_, &one, sizeof one);
  thread_.join();
  std::uint64_t value = 0;
  (void)!read(wake_fd_, &value, sizeof value);
}

void DeviceRunner::Run() {
  std::deque<OutgoingAnswer> outgoing;
  Clock::time_point line_free_at{};
  bool line_open = true;
  std::uint8_t buffer[512];

  while (!stop_) {
    const std::uint32_t baud = device_.Timing().baud;
    // 10 bits per byte on the wire.
    const auto byte_time =
        baud > 0 ? std::chrono::nanoseconds(10'000'000'000LL / baud) : std::chrono::nanoseconds(0);

    // Sleep until the line has something, a wake-up comes, or the next answer (or a stalled
    // frame) is due.
    std::optional<Clock::time_point> deadline = device_.NextTick();
    if (!outgoing.empty()) {
      Clock::time_point next = outgoing.front().answer.due;
      if (baud > 0) next = std::max(next, line_free_at);
      deadline = deadline ? std::min(*deadline, next) : next;
    }
    pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {line_open ? endpoint_->PollFd() : -1, POLLIN, 0}};
    timespec ts{};
    timespec* timeout = nullptr;
    if (deadline) {
      auto wait = std::max(Clock::duration::zero(), *deadline - Clock::now());
      auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      timeout = &ts;
    }
    if (ppoll(fds, 2, timeout, nullptr) < 0 && errno != EINTR) break;
    if (stop_) break;

    if (line_open) {
      if (endpoint_->Service()) {
        // A new client: nothing of the last conversation carries over.
        device_.LineReset();
        outgoing.clear();
        device_.TakeAnswers();
      }
      for (int round = 0; round < 64; ++round) {
        long n = endpoint_->Read(buffer, sizeof buffer);
        if (n < 0) {
          line_open = false;
          break;
        }
        if (n == 0) break;
        device_.Receive(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(n)),
                        Clock::now());
      }
    }
    device_.Tick(Clock::now());
    for (DeviceAnswer& answer : device_.TakeAnswers()) {
      outgoing.push_back({std::move(answer), 0});
    }

    const Clock::time_point now = Clock::now();
    while (!outgoing.empty() && line_open) {
      OutgoingAnswer& front = outgoing.front();
      if (front.answer.due > now) break;
      const std::size_t remaining = front.answer.bytes.size() - front.sent;
      std::size_t count = remaining;
      if (baud > 0) {
        const Clock::time_point start = std::max(front.answer.due, line_free_at);
        if (start > now) break;
        const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start);
        count = std::min<std::size_t>(remaining, static_cast<std::size_t>(elapsed / byte_time) + 1);
        line_free_at = start + count * byte_time;
      }
      endpoint_->Write(
          std::span<const std::uint8_t>(front.answer.bytes).subspan(front.sent, count));
      front.sent += count;
      if (front.sent < front.answer.bytes.size()) break;
      device_.NoteSent(front.answer.bytes);
      outgoing.pop_front();
    }
    if (!line_open) outgoing.clear();
    endpoint_->SetAnswering(!outgoing.empty());

    if (line_open && outgoing.empty() && device_.LineDropped()) {
      endpoint_->HangUp();
      line_open = false;
    }
  }
}

}  // namespace qelta::sim

#include "SimSerialPort.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace halvex::test {
namespace {

class SimSerialPort final : public SerialPort {
 public:
  explicit SimSerialPort(std::shared_ptr<qelta::sim::NullModem> cable)
      : cable_(std::move(cable)), end_(cable_->HostEnd()) {
    cancelFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    lastCts_ = end_.Cts();
  }
  ~SimSerialPort() override {
    if (cancelFd_ >= 0) ::close(cancelFd_);
  }

  bool ReadLineSettings() override { return true; }
  bool ApplyLineSettings(int) override { return true; }
  bool EnableEvents() override { return cancelFd_ >= 0; }
  bool SetImmediateReads() override { return true; }
  bool HasModemLines() const override { return true; }
  bool SetRts(bool on) override {
    end_.SetRts(on);
    return true;
  }
  bool GetCts(bool* on) override {
    *on = end_.Cts();
    return true;
  }
  long Read(uint8_t* buf, size_t n) override {
    if (Cancelled()) return -1;
    const long r = end_.Read(buf, n);
    return r < 0 ? -1 : r;
  }
  WriteResult Write(const uint8_t* buf, size_t n) override {
    return end_.Write({buf, n}) ? WriteResult{n, true} : WriteResult{0, true};
  }
  unsigned Wait(int timeoutMs) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      unsigned events = kNone;
      if (Cancelled()) return kCancelled;
      if (end_.TakeLineChange() && end_.Cts() != lastCts_) {
        lastCts_ = !lastCts_;
        events |= kCtsChange;
      }
      if (end_.Available() > 0)
        events |= kData;
      else if (end_.PeerHungUp())
        events |= kError;
      if (events != kNone) return events;
      int slice = -1;
      if (timeoutMs >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return kNone;
        slice = static_cast<int>(left);
      }
      pollfd fds[2] = {{end_.PollFd(), POLLIN, 0}, {cancelFd_, POLLIN, 0}};
      if (::poll(fds, 2, slice) < 0 && errno != EINTR) return kError;
    }
  }
  void Cancel() override {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t w = ::write(cancelFd_, &one, sizeof one);
  }
  void Purge(bool /*tx*/, bool rx) override {
    if (rx) end_.FlushInput();
  }

 private:
  bool Cancelled() const {
    pollfd p{cancelFd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }

  std::shared_ptr<qelta::sim::NullModem> cable_;
  qelta::sim::NullModemEnd& end_;
  int cancelFd_ = -1;
  bool lastCts_ = false;
};

}  // namespace

std::unique_ptr<SerialPort> OpenSimSerialPort(std::shared_ptr<qelta::sim::NullModem> cable) {
  return std::make_unique<SimSerialPort>(std::move(cable));
}

}  // namespace halvex::test

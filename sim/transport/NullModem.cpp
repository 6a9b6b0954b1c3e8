#include "transport/NullModem.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace qelta::sim {

NullModemEnd::NullModemEnd(NullModem& cable, int index)
    : cable_(cable), index_(index), event_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

NullModemEnd::~NullModemEnd() {
  if (event_fd_ >= 0) close(event_fd_);
}

void NullModemEnd::UpdateEventLocked() {
  if (event_fd_ < 0) return;
  const bool due = !inbox_.empty() || line_changed_ || cable_.Peer(index_).hung_up_;
  if (due && !event_raised_) {
    std::uint64_t one = 1;
    if (write(event_fd_, &one, sizeof one) == sizeof one) event_raised_ = true;
  } else if (!due && event_raised_) {
    std::uint64_t value = 0;
    if (read(event_fd_, &value, sizeof value) == sizeof value) event_raised_ = false;
  }
}

long NullModemEnd::Read(std::uint8_t* buffer, std::size_t size) {
  std::lock_guard lock(cable_.mutex_);
  if (inbox_.empty()) return cable_.Peer(index_).hung_up_ || hung_up_ ? -1 : 0;
  const std::size_t n = std::min(size, inbox_.size());
  std::copy_n(inbox_.begin(), n, buffer);
  inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<std::ptrdiff_t>(n));
  UpdateEventLocked();
  return static_cast<long>(n);
}

bool NullModemEnd::Write(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(cable_.mutex_);
  NullModemEnd& peer = cable_.Peer(index_);
  if (hung_up_ || peer.hung_up_) return false;
  peer.inbox_.insert(peer.inbox_.end(), bytes.begin(), bytes.end());
  peer.UpdateEventLocked();
  return true;
}

std::size_t NullModemEnd::Available() const {
  std::lock_guard lock(cable_.mutex_);
  return inbox_.size();
}

void NullModemEnd::FlushInput() {
  std::lock_guard lock(cable_.mutex_);
  inbox_.clear();
  UpdateEventLocked();
}

void NullModemEnd::SetRts(bool on) {
  std::lock_guard lock(cable_.mutex_);
  if (hung_up_ || rts_ == on) return;
  rts_ = on;
  NullModemEnd& peer = cable_.Peer(index_);
  peer.line_changed_ = true;
  peer.UpdateEventLocked();
}

void NullModemEnd::SetDtr(bool on) {
  std::lock_guard lock(cable_.mutex_);
  if (hung_up_ || dtr_ == on) return;
  dtr_ = on;
  NullModemEnd& peer = cable_.Peer(index_);
  peer.line_changed_ = true;
  peer.UpdateEventLocked();
}

bool NullModemEnd::Rts() const {
  std::lock_guard lock(cable_.mutex_);
  return rts_;
}

bool NullModemEnd::Cts() const {
  std::lock_guard lock(cable_.mutex_);
  return cable_.Peer(index_).rts_;
}

bool NullModemEnd::Dsr() const {
  std::lock_guard lock(cable_.mutex_);
  return cable_.Peer(index_).dtr_;
}

bool NullModemEnd::TakeLineChange() {
  std::lock_guard lock(cable_.mutex_);
  const bool changed = line_changed_;
  line_changed_ = false;
  UpdateEventLocked();
  return changed;
}

void NullModemEnd::HangUp() {
  std::lock_guard lock(cable_.mutex_);
  if (hung_up_) return;
  hung_up_ = true;
  const bool had_lines = rts_ || dtr_;
  rts_ = false;
  dtr_ = false;
  inbox_.clear();
  NullModemEnd& peer = cable_.Peer(index_);
  if (had_lines) peer.line_changed_ = true;
  peer.UpdateEventLocked();
  UpdateEventLocked();
}

bool NullModemEnd::PeerHungUp() const {
  std::lock_guard lock(cable_.mutex_);
  return cable_.Peer(index_).hung_up_;
}

NullModem::NullModem() {
  ends_[0].reset(new NullModemEnd(*this, 0));
  ends_[1].reset(new NullModemEnd(*this, 1));
}

NullModem::~NullModem() = default;

std::shared_ptr<NullModem> NullModem::Create() {
  return std::shared_ptr<NullModem>(new NullModem());
}

namespace {

class NullModemDeviceEndpoint : public SerialEndpoint {
 public:
  explicit NullModemDeviceEndpoint(std::shared_ptr<NullModem> cable)
      : cable_(std::move(cable)), end_(cable_->DeviceEnd()) {
    // A terminal that is switched on shows it on DSR.
    end_.SetDtr(true);
  }

  int PollFd() const override { return end_.PollFd(); }
  long Read(std::uint8_t* buffer, std::size_t size) override { return end_.Read(buffer, size); }
  bool Write(std::span<const std::uint8_t> bytes) override { return end_.Write(bytes); }
  bool Service() override {
    // The terminal's handshake: CTS follows the link's RTS.
    if (end_.TakeLineChange()) end_.SetRts(end_.Cts());
    return false;
  }
  void HangUp() override { end_.HangUp(); }

 private:
  std::shared_ptr<NullModem> cable_;
  NullModemEnd& end_;
};

}  // namespace

std::unique_ptr<SerialEndpoint> NullModem::DeviceEndpoint(std::shared_ptr<NullModem> cable) {
  return std::make_unique<NullModemDeviceEndpoint>(std::move(cable));
}

}  // namespace qelta::sim

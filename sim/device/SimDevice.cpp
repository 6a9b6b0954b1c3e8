#include "device/SimDevice.h"

#include <algorithm>

namespace qelta::sim {

SimDevice::SimDevice(const DeviceIdentity& identity) { SetIdentity(identity); }

SimDevice::~SimDevice() = default;

void SimDevice::Receive(std::span<const std::uint8_t> bytes, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (dropped_ || bytes.empty()) return;
  // A sleeping device does not hear its line.
  if (now < asleep_until_) return;
  call_time_ = now;
  if (boot_mode_) {
    if (observer_) observer_(Direction::kReceived, bytes);
    if (!boot_handler_ || faults_.silent) return;
    std::vector<std::uint8_t> answer;
    boot_handler_->OnBootBytes(bytes, boot_access_, answer);
    if (!answer.empty()) QueueLocked(std::move(answer), AnswerTimeLocked(now));
    return;
  }
  for (const CommandFrame& frame : parser_.Feed(bytes, now)) HandleFrameLocked(frame, now);
}

void SimDevice::Tick(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (dropped_ || !parser_.HasPartial() || now < parser_.StallDeadline()) return;
  call_time_ = now;
  for (const CommandFrame& frame : parser_.Expire(now)) HandleFrameLocked(frame, now);
}

std::optional<SimDevice::Clock::time_point> SimDevice::NextTick() const {
  std::lock_guard lock(mutex_);
  if (dropped_ || !parser_.HasPartial()) return std::nullopt;
  return parser_.StallDeadline();
}

std::vector<DeviceAnswer> SimDevice::TakeAnswers() {
  std::lock_guard lock(mutex_);
  std::vector<DeviceAnswer> out;
  out.swap(answers_);
  return out;
}

bool SimDevice::LineDropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void SimDevice::LineReset() {
  std::lock_guard lock(mutex_);
  parser_.Clear();
  ignored_once_.reset();
}

std::vector<std::uint8_t> SimDevice::Exchange(std::span<const std::uint8_t> bytes) {
  Receive(bytes, Clock::now());
  std::vector<std::uint8_t> out;
  for (const DeviceAnswer& answer : TakeAnswers()) {
    out.insert(out.end(), answer.bytes.begin(), answer.bytes.end());
  }
  if (!out.empty()) NoteSent(out);
  return out;
}

void SimDevice::NoteSent(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (observer_) observer_(Direction::kSent, bytes);
}

void SimDevice::HandleFrameLocked(const CommandFrame& frame, Clock::time_point now) {
  if (dropped_) return;
  if (observer_) observer_(Direction::kReceived, frame.raw);
  DeviceActivity& activity = state_.activity;
  ++activity.frames_received;
  // The frame that reaches the limit is still served; the line drops once its answer is out.
  if (faults_.drop_after_frames != 0 && activity.frames_received >= faults_.drop_after_frames) {
    dropped_ = true;
  }
  if (faults_.silent) return;
  if (faults_.answer_second_only) {
    if (!ignored_once_ || *ignored_once_ != frame.raw) {
      ignored_once_ = frame.raw;
      return;
    }
    ignored_once_.reset();
  }

  if (boot_handler_ && (frame.code == cmd::kBootRequest || frame.code == cmd::kBootLength)) {
    std::vector<std::uint8_t> answer;
    if (boot_handler_->OnFrame(frame, boot_access_, answer)) {
      if (!answer.empty()) QueueLocked(std::move(answer), AnswerTimeLocked(now));
      return;
    }
  }

  if (faults_.keep_old_bytes && frame.code == cmd::kMemoryWrite) {
    QueueLocked({kAck}, AnswerTimeLocked(now));
    return;
  }
  CommandOutcome outcome = HandleCommand(frame, state_);
  // A restarting device forgets whatever it had half received.
  if (outcome.reset) parser_.Clear();
  Clock::time_point due = AnswerTimeLocked(now);
  if (outcome.sleep.count() > 0) {
    asleep_until_ = now + outcome.sleep;
    due += outcome.sleep;
  }
  for (AnswerPart& part : outcome.answer) QueueLocked(std::move(part.bytes), due + part.after);
}

SimDevice::Clock::time_point SimDevice::AnswerTimeLocked(Clock::time_point now) const {
  return now + timing_.answer_delay + faults_.extra_delay;
}

void SimDevice::QueueLocked(std::vector<std::uint8_t> bytes, Clock::time_point due) {
  if (faults_.corrupt_answers) {
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(~b);
  }
  if (faults_.garbage_before_answer > 0) {
    std::vector<std::uint8_t> noisy;
    noisy.reserve(faults_.garbage_before_answer + bytes.size());
    for (std::uint32_t i = 0; i < faults_.garbage_before_answer; ++i) {
      // xorshift32: cheap, repeatable noise
      garbage_seed_ ^= garbage_seed_ << 13;
      garbage_seed_ ^= garbage_seed_ >> 17;
      garbage_seed_ ^= garbage_seed_ << 5;
      noisy.push_back(static_cast<std::uint8_t>(garbage_seed_));
    }
    noisy.insert(noisy.end(), bytes.begin(), bytes.end());
    bytes.swap(noisy);
  }
  if (faults_.cut_answer_bytes > 0 && bytes.size() > 1) {
    bytes.resize(bytes.size() - std::min<std::size_t>(faults_.cut_answer_bytes, bytes.size() - 1));
  }
  // Answers leave in the order they were made.
  due = std::max(due, last_due_);
  last_due_ = due;
  if (faults_.late_last_byte.count() > 0 && bytes.size() > 1) {
    std::vector<std::uint8_t> last{bytes.back()};
    bytes.pop_back();
    answers_.push_back({due, std::move(bytes)});
    last_due_ = due + faults_.late_last_byte;
    answers_.push_back({last_due_, std::move(last)});
    return;
  }
  answers_.push_back({due, std::move(bytes)});
}

DeviceIdentity SimDevice::Identity() const {
  std::lock_guard lock(mutex_);
  return state_.identity;
}

void SimDevice::SetIdentity(const DeviceIdentity& identity) {
  std::lock_guard lock(mutex_);
  state_.identity = identity;
  state_.memory.SetExtendedLayout(identity.HasExtendedMemory());
}

FaultKnobs SimDevice::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void SimDevice::SetFaults(const FaultKnobs& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
  ignored_once_.reset();
}

TimingKnobs SimDevice::Timing() const {
  std::lock_guard lock(mutex_);
  return timing_;
}

void SimDevice::SetTiming(const TimingKnobs& timing) {
  std::lock_guard lock(mutex_);
  timing_ = timing;
}

DeviceResponses SimDevice::Responses() const {
  std::lock_guard lock(mutex_);
  return state_.responses;
}

void SimDevice::SetResponses(const DeviceResponses& responses) {
  std::lock_guard lock(mutex_);
  state_.responses = responses;
}

void SimDevice::SetTrafficObserver(TrafficObserver observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

void SimDevice::SetBootHandler(std::unique_ptr<BootModeHandler> handler) {
  std::lock_guard lock(mutex_);
  boot_handler_ = std::move(handler);
}

std::vector<std::uint8_t> SimDevice::BootFlash() const {
  std::lock_guard lock(mutex_);
  return boot_handler_ ? boot_handler_->Flash() : std::vector<std::uint8_t>{};
}

void SimDevice::RestoreBootFlash(std::span<const std::uint8_t> contents) {
  std::lock_guard lock(mutex_);
  if (boot_handler_) boot_handler_->RestoreFlash(contents);
}

void SimDevice::SetBootMode(bool on) {
  std::lock_guard lock(mutex_);
  SetBootModeLocked(on);
}

void SimDevice::SetBootModeLocked(bool on) {
  if (boot_mode_ == on) return;
  boot_mode_ = on;
  parser_.Clear();
  if (boot_handler_) boot_handler_->OnModeChange(on);
}

bool SimDevice::BootMode() const {
  std::lock_guard lock(mutex_);
  return boot_mode_;
}

DeviceActivity SimDevice::Activity() const {
  std::lock_guard lock(mutex_);
  return state_.activity;
}

std::vector<std::uint8_t> SimDevice::Page(int page) const {
  std::lock_guard lock(mutex_);
  return state_.memory.PageView(page);
}

std::vector<std::uint8_t> SimDevice::Extended() const {
  std::lock_guard lock(mutex_);
  auto area = state_.memory.Area(MemoryArea::kExtended);
  return {area.begin(), area.end()};
}

void SimDevice::WithMemory(const std::function<void(DeviceMemory&)>& f) {
  std::lock_guard lock(mutex_);
  f(state_.memory);
}

}  // namespace qelta::sim

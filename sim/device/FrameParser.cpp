#include "device/FrameParser.h"

namespace qelta::sim {

namespace {
constexpr std::uint8_t kStart = 0x02;
constexpr std::uint8_t kEnd = 0x03;
}  // namespace

std::vector<CommandFrame> FrameParser::Feed(std::span<const std::uint8_t> bytes,
                                            Clock::time_point now) {
  std::vector<CommandFrame> out;
  if (!bytes.empty()) last_input_ = now;
  for (std::uint8_t b : bytes) {
    // Outside a frame only a start byte matters; dropping early keeps the buffer small.
    if (pending_.empty() && b != kStart) {
      ++dropped_;
      continue;
    }
    pending_.push_back(b);
    Scan(out);
  }
  return out;
}

std::vector<CommandFrame> FrameParser::Expire(Clock::time_point now) {
  std::vector<CommandFrame> out;
  if (pending_.empty() || now < StallDeadline()) return out;
  // The partial frame will not complete: its start byte was garbage. Look for a frame behind it.
  pending_.pop_front();
  ++dropped_;
  Scan(out);
  // Whatever still waits gets a fresh stall time of its own.
  last_input_ = now;
  return out;
}

void FrameParser::Scan(std::vector<CommandFrame>& out) {
  for (;;) {
    while (!pending_.empty() && pending_.front() != kStart) {
      pending_.pop_front();
      ++dropped_;
    }
    if (pending_.size() < 2) return;
    const std::size_t n = pending_[1];
    if (n == 0) {  // no command code: not a frame
      pending_.pop_front();
      ++dropped_;
      continue;
    }
    const std::size_t total = n + 3;
    if (pending_.size() < total) return;
    if (pending_[total - 1] != kEnd) {
      pending_.pop_front();
      ++dropped_;
      continue;
    }
    CommandFrame frame;
    frame.raw.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
    frame.code = frame.raw[2];
    frame.args.assign(frame.raw.begin() + 3, frame.raw.end() - 1);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
    out.push_back(std::move(frame));
  }
}

}  // namespace qelta::sim

#pragma once
// Cuts a byte stream into command frames 02 N code args... 03.
//
// Frames may arrive split over any number of reads and with garbage between them. Bytes outside a
// frame that are not 0x02 are dropped. A candidate frame whose end byte is not 0x03 (or whose N is
// 0) is dropped one byte at a time, so a real frame hidden after a stray 0x02 is still found. A
// candidate that stays incomplete for longer than the stall time (a stray 0x02 followed by a large
// N would otherwise swallow later frames) is given up the same way when Expire() is called.

#include <chrono>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace qelta::sim {

struct CommandFrame {
  std::uint8_t code = 0;
  std::vector<std::uint8_t> args;
  std::vector<std::uint8_t> raw;  // the whole frame as received, start and end byte included
};

class FrameParser {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kDefaultStall{100};

  explicit FrameParser(std::chrono::milliseconds stall = kDefaultStall) : stall_(stall) {}

  // Adds bytes and returns the frames completed by them, in order.
  std::vector<CommandFrame> Feed(std::span<const std::uint8_t> bytes, Clock::time_point now);

  // Gives up a stalled partial frame; returns frames that become complete after the resync.
  std::vector<CommandFrame> Expire(Clock::time_point now);

  // Whether a partial frame waits, and when Expire() gives it up.
  bool HasPartial() const { return !pending_.empty(); }
  Clock::time_point StallDeadline() const { return last_input_ + stall_; }

  // Bytes thrown away so far (garbage and broken frames).
  std::size_t DroppedBytes() const { return dropped_; }

  void Clear() { pending_.clear(); }

 private:
  void Scan(std::vector<CommandFrame>& out);

  std::chrono::milliseconds stall_;
  std::deque<std::uint8_t> pending_;
  Clock::time_point last_input_{};
  std::size_t dropped_ = 0;
};

}  // namespace qelta::sim

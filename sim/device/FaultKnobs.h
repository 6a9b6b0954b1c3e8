#pragma once
// Ways to make a simulated device misbehave (and to slow it down like a real serial line).

#include <chrono>
#include <cstdint>

namespace qelta::sim {

struct FaultKnobs {
  // Never answers anything.
  bool silent = false;
  // Ignores the first transmission of each frame and answers only when the identical frame is
  // sent again right after it (the link's retry).
  bool answer_second_only = false;
  // Added to every answer's delay.
  std::chrono::milliseconds extra_delay{0};
  // Every answer byte is inverted (a wrong echo, a wrong status, a wrong information code).
  bool corrupt_answers = false;
  // This many garbage bytes go out before every answer.
  std::uint32_t garbage_before_answer = 0;
  // Every answer of more than one byte loses this many bytes at its end (at least its first byte
  // still goes out): a device that answers short.
  std::uint32_t cut_answer_bytes = 0;
  // The last byte of every answer of more than one byte goes out this much later than the rest:
  // an answer that begins in time and ends late.
  std::chrono::milliseconds late_last_byte{0};
  // After this many received frames the line drops: the device stops answering and the transport
  // hangs up (closes the TCP client, the pty or its null-modem end). 0 means never.
  std::uint32_t drop_after_frames = 0;
  // Answers every memory write as taken (the ACK status) but keeps the old bytes: a device whose
  // memory no longer takes writes.
  bool keep_old_bytes = false;
};

struct TimingKnobs {
  // The device's own time to work out an answer.
  std::chrono::milliseconds answer_delay{2};
  // Wire pacing: answer bytes leave at this baud rate, 10 bits per byte. 0 means no pacing.
  std::uint32_t baud = 0;
};

}  // namespace qelta::sim

#pragma once
// The device's side of a line, as DeviceRunner uses it: one pollable file descriptor, non-blocking
// reads and writes, modem lines where the line has them, and a hang-up.

#include <cstddef>
#include <cstdint>
#include <span>

namespace qelta::sim {

class SerialEndpoint {
 public:
  virtual ~SerialEndpoint() = default;

  // Becomes readable when data (or, on a null-modem end, a modem line change or a hang-up of the
  // peer) waits. -1 once the line is gone for good.
  virtual int PollFd() const = 0;

  // Non-blocking. Returns the number of bytes read (0: nothing now), or -1 when the line is
  // closed (a TCP client left, the peer end was closed).
  virtual long Read(std::uint8_t* buffer, std::size_t size) = 0;

  // Writes all bytes; false when the line is gone.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

  // Called after every wake-up: lines with modem signals mirror the link's RTS to its CTS here, as
  // a terminal's handshake expects. Returns true when a new connection began (the device then
  // forgets half-received frames).
  virtual bool Service() { return false; }

  // Drops the line (the device's drop knob).
  virtual void HangUp() = 0;

  // Whether an answer is on its way out (due, or partly on the wire). A module's tunnel that
  // forwards on idle waits for it: a real line carries an answer's bytes back to back, and a gap
  // that only the simulator's thread scheduling made must not split it.
  virtual void SetAnswering(bool) {}
};

}  // namespace qelta::sim

// The ways to a device: the serial port (two workers carry the bytes) and a module's TCP tunnel
// (everything on the caller's thread). Each is one table of the same few operations; Connect and
// ConnectTCP choose the one a link object then uses, so no operation asks which is open. Opening
// takes each way's own address (a COM port and a speed, or an IPv4 address and a port) and is the
// way's own call.
#pragma once

#include <cstdint>

namespace halvex {

class Transport {
 public:
  enum class Kind { kSerial, kTcp };

  virtual ~Transport() = default;
  virtual Kind GetKind() const = 0;
  virtual bool IsOpen() const = 0;
  // SendData: the low bytes of `length` elements, without waiting for an answer.
  virtual void Send(const int16_t* buf, int16_t length) = 0;
  // SendAndWait: the frame out, and true once an answer came within this way's waits.
  virtual bool SendAndWait(const int16_t* buf, int16_t length, int16_t waitTime) = 0;
  // After an answer began: waits at most timeoutMs until the capture ring holds `count` bytes.
  // True when it does. Returns at once when they are there already.
  virtual bool AwaitCaptured(int count, int timeoutMs) = 0;
  virtual void Close() = 0;
};

}  // namespace halvex

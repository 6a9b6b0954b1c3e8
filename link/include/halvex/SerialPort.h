// A serial line as the link uses it: raw 8N1 without flow control, RTS driven by hand, CTS read,
// reads that never block, and one wait for "data arrived", "CTS changed" or "cancelled".
//
// The link opens ports through a process-wide factory; tests install their own factory to hand
// the link in-process ports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace halvex {

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // The open steps, in the order the link calls them. Each returns false on failure.
  // Reads the current line settings (first contact with the device).
  virtual bool ReadLineSettings() = 0;
  // Raw mode at `baud`, 8 data bits, no parity, one stop bit, no flow control of any kind.
  virtual bool ApplyLineSettings(int baud) = 0;
  // Prepares the wait for received data and CTS changes.
  virtual bool EnableEvents() = 0;
  // Reads return at once with whatever has arrived.
  virtual bool SetImmediateReads() = 0;

  // A pty or a pipe has no modem lines: RTS cannot be driven and CTS cannot be read.
  virtual bool HasModemLines() const = 0;
  virtual bool SetRts(bool on) = 0;
  // CTS state; false when unknown (no modem lines or an error).
  virtual bool GetCts(bool* on) = 0;

  // Copies up to n received bytes; 0 when nothing is there, -1 on error or once closed.
  virtual long Read(uint8_t* buf, size_t n) = 0;

  struct WriteResult {
    size_t written = 0;
    bool completedAtOnce = true;  // false: the write had to wait for the line
  };
  // Writes all n bytes, waiting for the line when needed (a cancel ends the wait early).
  virtual WriteResult Write(const uint8_t* buf, size_t n) = 0;

  enum Event : unsigned {
    kNone = 0,
    kData = 1u << 0,       // bytes are waiting to be read
    kCtsChange = 1u << 1,  // CTS changed state
    kCancelled = 1u << 2,  // Cancel() was called
    kError = 1u << 3,      // the port failed (device gone)
  };
  // Waits for any of the events; timeoutMs < 0 waits without limit. Returns a mask of Event.
  virtual unsigned Wait(int timeoutMs) = 0;
  // Ends every current and future Wait and Write at once (the port is about to close).
  virtual void Cancel() = 0;

  // Discards what is queued for sending and/or what was received but not read.
  virtual void Purge(bool tx, bool rx) = 0;
};

// Opens the device at `path` for exclusive use; nullptr when it cannot be opened.
using SerialPortFactory = std::function<std::unique_ptr<SerialPort>(const std::string& path)>;

// Replaces the process-wide factory; an empty function restores the POSIX one.
void SetSerialPortFactory(SerialPortFactory factory);

// Opens through the current factory.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& path);

// The POSIX implementation (termios, exclusive open, modem lines through ioctl).
std::unique_ptr<SerialPort> OpenPosixSerialPort(const std::string& path);

}  // namespace halvex

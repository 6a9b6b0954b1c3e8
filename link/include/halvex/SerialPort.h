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

// Why a port could not be opened.
struct SerialOpenFailure {
  enum class Kind {
    kNone,        // no reason known
    kBusy,        // another program (or another link in this one) has the port
    kPermission,  // the user may not open the device
    kOther,       // missing device, not a terminal, ...
  };
  Kind kind = Kind::kNone;
  std::string text;  // as the user reads it: "port is busy (used by PID 4242)"
};

// Opens the device at `path` for exclusive use; nullptr when it cannot be opened, with the reason
// in `failure` when one is known.
using SerialPortFactory =
    std::function<std::unique_ptr<SerialPort>(const std::string& path, SerialOpenFailure* failure)>;

// Replaces the process-wide factory; an empty function restores the POSIX one.
void SetSerialPortFactory(SerialPortFactory factory);

// Opens through the current factory.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& path,
                                           SerialOpenFailure* failure = nullptr);

// The POSIX implementation (termios, modem lines through ioctl). The port is kept from every
// other open, root's and other serial programs' too: an advisory flock on the device, a lock file
// "LCK..<device>" with this process's PID in the lock folder, and TIOCEXCL; all released on close.
std::unique_ptr<SerialPort> OpenPosixSerialPort(const std::string& path,
                                                SerialOpenFailure* failure = nullptr);

// The folder of the lock files, "/run/lock" unless set (empty: none are made).
void SetSerialLockFolder(const std::string& folder);

}  // namespace halvex

// An in-process serial line for link tests: the host end is a halvex::SerialPort, the peer end is
// what a test device reads and writes. RTS of one end is CTS of the other. Faults can be set for
// each open step, and the line can pretend to have no modem lines (like a pty).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "halvex/SerialPort.h"

namespace halvex::test {

enum class OpenStep {
  kNone,
  kOpen,
  kReadLineSettings,
  kApplyLineSettings,
  kEnableEvents,
  kSetImmediateReads
};

// The device's side of a line (in-process pair or pty master).
class PeerLine {
 public:
  virtual ~PeerLine() = default;
  // Waits up to timeoutMs for bytes and returns what is there (possibly nothing).
  virtual std::vector<uint8_t> Read(int timeoutMs) = 0;
  virtual void Write(const std::vector<uint8_t>& bytes) = 0;
  virtual bool HasModemLines() const = 0;
  // The host's RTS, and the host's CTS as driven by this end.
  virtual bool HostRts() const = 0;
  virtual void SetHostCts(bool on) = 0;
};

class PortPair : public std::enable_shared_from_this<PortPair> {
 public:
  static std::shared_ptr<PortPair> Create(bool modemLines = true);

  // The factory's work: nullptr when the open step is set to fail.
  std::unique_ptr<SerialPort> OpenHost();
  PeerLine& Peer() { return *peer_; }

  void FailAt(OpenStep step);
  // Baud rate the host configured (0 before).
  int Baud() const;
  int Opens() const;
  // Every change of the host's RTS, with the time it happened.
  struct RtsChange {
    bool on;
    std::chrono::steady_clock::time_point at;
  };
  std::vector<RtsChange> RtsHistory() const;
  // Host writes, with the time each completed.
  struct HostWrite {
    std::vector<uint8_t> bytes;
    std::chrono::steady_clock::time_point at;
  };
  std::vector<HostWrite> Writes() const;

 private:
  class Host;
  class PeerEnd;
  friend class Host;
  friend class PeerEnd;
  explicit PortPair(bool modemLines);

  const bool modemLines_;
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::deque<uint8_t> toHost_;
  std::deque<uint8_t> toPeer_;
  bool hostRts_ = false;
  bool hostCts_ = false;
  bool ctsChanged_ = false;
  OpenStep fail_ = OpenStep::kNone;
  int baud_ = 0;
  int opens_ = 0;
  std::vector<RtsChange> rts_;
  std::vector<HostWrite> writes_;
  std::unique_ptr<PeerLine> peer_;
};

// Installs a serial port factory for the life of the object: path "inproc:<name>" opens the pair
// registered under that name; any other path goes to the POSIX ports.
class PortFactoryScope {
 public:
  PortFactoryScope();
  ~PortFactoryScope();
  void Add(const std::string& name, std::shared_ptr<PortPair> pair);
  // Opens of "inproc:<name>" fail with this reason, as a busy or forbidden device would.
  void Refuse(const std::string& name, SerialOpenFailure failure);

 private:
  struct Table;
  std::shared_ptr<Table> table_;
};

}  // namespace halvex::test

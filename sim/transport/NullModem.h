#pragma once
// An in-process null-modem cable: two ends, data both ways, RTS of one end is CTS of the other
// (and DTR is DSR). Each end has a file descriptor that is readable while data waits for it, while
// a change of the peer's modem lines has not been taken with TakeLineChange(), or once the peer
// hung up, so a serial-port adapter can poll() it together with its own cancel descriptor.
//
// Usage:
//   auto cable = NullModem::Create();
//   NullModemEnd& host = cable->HostEnd();     // what the link's serial port adapter uses
//   NullModemEnd& device = cable->DeviceEnd(); // what DeviceRunner serves (via DeviceEndpoint())
//
// All calls are thread-safe. The cable owns both ends; keep it alive while either is in use.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>

#include "transport/SerialEndpoint.h"

namespace qelta::sim {

class NullModem;

class NullModemEnd {
 public:
  ~NullModemEnd();
  NullModemEnd(const NullModemEnd&) = delete;
  NullModemEnd& operator=(const NullModemEnd&) = delete;

  int PollFd() const { return event_fd_; }

  // Non-blocking; returns the bytes read (0 when none wait), -1 when none wait and the peer hung
  // up.
  long Read(std::uint8_t* buffer, std::size_t size);
  // Queues bytes for the peer; false after either end hung up.
  bool Write(std::span<const std::uint8_t> bytes);
  std::size_t Available() const;
  // Throws away what waits to be read by this end.
  void FlushInput();

  void SetRts(bool on);
  void SetDtr(bool on);
  bool Rts() const;
  bool Cts() const;  // the peer's RTS
  bool Dsr() const;  // the peer's DTR
  // True (once) when the peer's RTS or DTR changed since the last call.
  bool TakeLineChange();

  void HangUp();
  bool PeerHungUp() const;

 private:
  friend class NullModem;
  NullModemEnd(NullModem& cable, int index);
  // Called with the cable lock held: makes the event fd readable exactly while something is due.
  void UpdateEventLocked();

  NullModem& cable_;
  int index_;
  int event_fd_ = -1;
  bool event_raised_ = false;
  std::deque<std::uint8_t> inbox_;
  bool rts_ = false;
  bool dtr_ = false;
  bool line_changed_ = false;
  bool hung_up_ = false;
};

class NullModem {
 public:
  static std::shared_ptr<NullModem> Create();
  ~NullModem();

  NullModemEnd& HostEnd() { return *ends_[0]; }
  NullModemEnd& DeviceEnd() { return *ends_[1]; }

  // A SerialEndpoint over the device end for DeviceRunner; it keeps the cable alive and mirrors
  // the host's RTS to the host's CTS (the device raises CTS when the link raises RTS).
  static std::unique_ptr<SerialEndpoint> DeviceEndpoint(std::shared_ptr<NullModem> cable);

 private:
  friend class NullModemEnd;
  NullModem();
  NullModemEnd& Peer(int index) { return *ends_[1 - index]; }

  mutable std::mutex mutex_;
  std::unique_ptr<NullModemEnd> ends_[2];
};

}  // namespace qelta::sim

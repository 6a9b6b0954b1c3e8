// The TCP way to a device: a module's serial tunnel, on the caller's thread alone.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>

#include "halvex/HalvexCtrl.h"
#include "transport/Transport.h"

namespace halvex {

class TcpTransport : public Transport {
 public:
  explicit TcpTransport(CHalvexCtrl::Impl& link) : link_(link) {}
  ~TcpTransport() override { Close(); }

  // ConnectTCP's steps after closing the socket: 0 connected, 1 no socket, 2 no connection.
  uint32_t Open(uint32_t address, uint16_t port);

  Kind GetKind() const override { return Kind::kTcp; }
  bool IsOpen() const override { return socket_.load() >= 0; }
  void Send(const int16_t* buf, int16_t length) override;
  bool SendAndWait(const int16_t* buf, int16_t length, int16_t waitTime) override;
  bool AwaitCaptured(int count, int timeoutMs) override;
  // Closes the socket; the peer record stays.
  void Close() override;

 private:
  CHalvexCtrl::Impl& link_;
  std::atomic<int> socket_{-1};
  sockaddr_in peer_{};
};

}  // namespace halvex

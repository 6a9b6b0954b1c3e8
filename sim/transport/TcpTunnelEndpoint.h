#pragma once
// The serial tunnel of an Ethernet module: a TCP listener on a loopback address that serves one
// client at a time. Further clients wait in the listen backlog until the current one leaves.

#include <cstdint>
#include <string>

#include "transport/SerialEndpoint.h"

namespace qelta::sim {

class TcpTunnelEndpoint : public SerialEndpoint {
 public:
  // Binds `address` (dotted IPv4, must be 127.x.x.x) and `port` (0 picks a free port).
  TcpTunnelEndpoint(const std::string& address, std::uint16_t port);
  ~TcpTunnelEndpoint() override;
  TcpTunnelEndpoint(const TcpTunnelEndpoint&) = delete;
  TcpTunnelEndpoint& operator=(const TcpTunnelEndpoint&) = delete;

  bool Ok() const { return listener_ >= 0; }
  const std::string& Error() const { return error_; }
  std::uint16_t Port() const { return port_; }
  bool HasClient() const { return client_ >= 0; }

  int PollFd() const override { return epoll_; }
  long Read(std::uint8_t* buffer, std::size_t size) override;
  bool Write(std::span<const std::uint8_t> bytes) override;
  bool Service() override;
  // Closes the client and stops listening: later connections are refused.
  void HangUp() override;

 private:
  void CloseClient();

  int listener_ = -1;
  int client_ = -1;
  int epoll_ = -1;
  std::uint16_t port_ = 0;
  std::string error_;
};

}  // namespace qelta::sim

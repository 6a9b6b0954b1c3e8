// A plain IPv4 datagram socket as the discovery protocol uses it: unbound, a receive time-out,
// send to one address, receive with the sender's address. Errors are results, never exceptions.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace qelta::network {

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool Open();
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  bool SetReceiveTimeout(int ms);
  // address in network order, port in host order; the number of bytes sent or -1.
  ssize_t SendTo(uint32_t address, uint16_t port, const void* data, size_t length);
  // The datagram's length (cut to capacity) or -1 on time-out or error; sender in network order.
  ssize_t ReceiveFrom(void* buffer, size_t capacity, uint32_t* senderAddress);

 private:
  int fd_ = -1;
};

}  // namespace qelta::network

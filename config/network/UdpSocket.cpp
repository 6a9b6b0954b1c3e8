#include "network/UdpSocket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qelta::network {

UdpSocket::~UdpSocket() { Close(); }

bool UdpSocket::Open() {
  Close();
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return fd_ >= 0;
}

void UdpSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool UdpSocket::SetReceiveTimeout(int ms) {
  if (fd_ < 0) return false;
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

ssize_t UdpSocket::SendTo(uint32_t address, uint16_t port, const void* data, size_t length) {
  if (fd_ < 0) return -1;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = address;
  return ::sendto(fd_, data, length, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

ssize_t UdpSocket::ReceiveFrom(void* buffer, size_t capacity, uint32_t* senderAddress) {
  if (fd_ < 0) return -1;
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  ssize_t n;
  do {
    n = ::recvfrom(fd_, buffer, capacity, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  } while (n < 0 && errno == EINTR);
  if (n >= 0 && senderAddress != nullptr) *senderAddress = from.sin_addr.s_addr;
  return n;
}

}  // namespace qelta::network

#include "transport/TcpTunnelEndpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qelta::sim {

TcpTunnelEndpoint::TcpTunnelEndpoint(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    error_ = "not an IPv4 address: " + address;
    return;
  }
  // Simulators listen on loopback only.
  if ((ntohl(sa.sin_addr.s_addr) >> 24) != 127) {
    error_ = "refusing to listen on a non-loopback address: " + address;
    return;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error_ = std::string("socket: ") + std::strerror(errno);
    return;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 8) != 0) {
    error_ = "bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    close(fd);
    return;
  }
  socklen_t len = sizeof sa;
  getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);

  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  if (epoll_ < 0 || epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    error_ = std::string("epoll: ") + std::strerror(errno);
    close(fd);
    if (epoll_ >= 0) close(epoll_);
    epoll_ = -1;
    return;
  }
  listener_ = fd;
}

TcpTunnelEndpoint::~TcpTunnelEndpoint() {
  HangUp();
  if (epoll_ >= 0) close(epoll_);
}

bool TcpTunnelEndpoint::Service() {
  if (client_ >= 0 || listener_ < 0) return false;
  int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return false;
  client_ = fd;
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLRDHUP;
  ev.data.fd = fd;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  // One client at a time: the next waits in the backlog until this one leaves.
  epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
  return true;
}

void TcpTunnelEndpoint::CloseClient() {
  if (client_ < 0) return;
  epoll_ctl(epoll_, EPOLL_CTL_DEL, client_, nullptr);
  close(client_);
  client_ = -1;
  if (listener_ >= 0) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listener_;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &ev);
  }
}

long TcpTunnelEndpoint::Read(std::uint8_t* buffer, std::size_t size) {
  if (client_ < 0) return listener_ < 0 ? -1 : 0;
  for (;;) {
    ssize_t n = recv(client_, buffer, size, 0);
    if (n > 0) return static_cast<long>(n);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    // The client left (or broke): serve the next one.
    CloseClient();
    return 0;
  }
}

bool TcpTunnelEndpoint::Write(std::span<const std::uint8_t> bytes) {
  if (client_ < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{client_, POLLOUT, 0};
      if (poll(&p, 1, 1000) > 0) continue;
    }
    CloseClient();
    return false;
  }
  return true;
}

void TcpTunnelEndpoint::HangUp() {
  if (listener_ >= 0) {
    if (epoll_ >= 0) epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_, nullptr);
    close(listener_);
    listener_ = -1;
  }
  CloseClient();
}

}  // namespace qelta::sim

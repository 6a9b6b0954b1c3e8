// The TCP variant of the link (a module's serial tunnel): everything on the caller's thread.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "interface/LinkState.h"

using Impl = CHalvexCtrl::Impl;

namespace {
constexpr int kConnectTimeoutMs = 1000;
constexpr int kQuickFailureMs = 500;
constexpr int kTcpChunk = 512;

void SetTimeout(int fd, int option, int ms) {
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

// Sends every byte; a short send is retried until done or the socket fails.
void SendAll(int fd, const uint8_t* data, size_t n) {
  size_t sent = 0;
  while (sent < n) {
    const ssize_t w = ::send(fd, data + sent, n - sent, MSG_NOSIGNAL);
    if (w <= 0) return;
    sent += static_cast<size_t>(w);
  }
}
}  // namespace

void Impl::CloseSocket() {
  const int fd = tcpSocket.exchange(-1);
  if (fd >= 0) ::close(fd);
}

// Copies the frame's low bytes into the reply buffer, which is what goes on the socket.
static size_t StageFrame(Impl& d, const int16_t* buf, int16_t length, uint8_t* frame) {
  const size_t n = buf ? static_cast<size_t>(std::clamp<int>(length, 0, kTcpChunk)) : 0;
  for (size_t i = 0; i < n; ++i) frame[i] = static_cast<uint8_t>(buf[i] & 0xFF);
  std::lock_guard lock(d.replyMutex);
  std::memset(d.reply, 0, sizeof d.reply);
  std::memcpy(d.reply, frame, n);
  return n;
}

void Impl::SendDataTcp(const int16_t* buf, int16_t length) {
  DrawProgress(1, 31, "TCP send...             ");
  uint8_t frame[kTcpChunk];
  const size_t n = StageFrame(*this, buf, length, frame);
  SendAll(tcpSocket.load(), frame, n);
  ClearProgress();
  face.Repaint();
}

bool Impl::SendAndWaitTcp(const int16_t* buf, int16_t length, int16_t waitTime) {
  const int fd = tcpSocket.load();
  // A receive timeout of 0 would mean "wait for ever"; the shortest real wait stands in for it.
  SetTimeout(fd, SO_RCVTIMEO, std::max<int>(waitTime, 1));
  DrawProgress(1, 31, "TCP send...");
  {
    std::lock_guard lock(ringMutex);
    ringCount = 0;
  }
  uint8_t frame[kTcpChunk];
  const size_t n = StageFrame(*this, buf, length, frame);
  SendAll(fd, frame, n);

  char text[96];
  char dotted[INET_ADDRSTRLEN] = "";
  ::inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted);
  std::snprintf(text, sizeof text, "Receiving from %hu @ %s...", ntohs(peer.sin_port), dotted);
  DrawProgress(1, 31, text);

  uint8_t in[kTcpChunk];
  const ssize_t got = ::recv(fd, in, sizeof in, 0);
  if (got <= 0) {
    ClearProgress();
    return false;
  }
  {
    std::lock_guard lock(replyMutex);
    std::memcpy(reply, in, static_cast<size_t>(got));
    replyLen = static_cast<int16_t>(got);
  }
  {
    std::lock_guard lock(ringMutex);
    std::memcpy(ring, in, static_cast<size_t>(got));
    ringRead = 0;
    ringWrite = static_cast<int32_t>(got) % kRingSize;
    ringCount = static_cast<int32_t>(got);
  }
  ClearProgress();
  return true;
}

uint32_t CHalvexCtrl::ConnectTCP(uint32_t address, uint16_t port) {
  Impl& d = *d_;
  d.CloseSocket();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 1;
  d.peer = sockaddr_in{};
  d.peer.sin_family = AF_INET;
  d.peer.sin_port = htons(port);
  d.peer.sin_addr.s_addr = address;
  SetTimeout(fd, SO_RCVTIMEO, kConnectTimeoutMs);
  SetTimeout(fd, SO_SNDTIMEO, kConnectTimeoutMs);

  const auto start = std::chrono::steady_clock::now();
  auto attempt = [&] {
    return ::connect(fd, reinterpret_cast<const sockaddr*>(&d.peer), sizeof d.peer) == 0;
  };
  bool ok = attempt();
  if (!ok &&
      std::chrono::steady_clock::now() - start < std::chrono::milliseconds(kQuickFailureMs)) {
    ok = attempt();
  }
  if (!ok) {
    ::close(fd);
    d.peer = sockaddr_in{};
    return 2;
  }
  d.tcpSocket = fd;
  d.ClearProgress();
  d.face.Repaint();
  return 0;
}

// The TCP way to a device (a module's serial tunnel): everything on the caller's thread.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "interface/LinkState.h"
#include "transport/TcpTransport.h"

using Impl = CHalvexCtrl::Impl;

namespace halvex {
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

// Copies the frame's low bytes into the reply buffer, which is what goes on the socket.
size_t StageFrame(Impl& d, const int16_t* buf, int16_t length, uint8_t* frame) {
  const size_t n = buf ? static_cast<size_t>(std::clamp<int>(length, 0, kTcpChunk)) : 0;
  for (size_t i = 0; i < n; ++i) frame[i] = static_cast<uint8_t>(buf[i] & 0xFF);
  std::lock_guard lock(d.replyMutex);
  std::memset(d.reply, 0, sizeof d.reply);
  std::memcpy(d.reply, frame, n);
  return n;
}
}  // namespace

void TcpTransport::Close() {
  const int fd = socket_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

void TcpTransport::Send(const int16_t* buf, int16_t length) {
  link_.DrawProgress(1, 31, "TCP send...             ");
  uint8_t frame[kTcpChunk];
  const size_t n = StageFrame(link_, buf, length, frame);
  SendAll(socket_.load(), frame, n);
  link_.ClearProgress();
  link_.face.Repaint();
}

bool TcpTransport::SendAndWait(const int16_t* buf, int16_t length, int16_t waitTime) {
  const int fd = socket_.load();
  // A receive timeout of 0 would mean "wait for ever"; the shortest real wait stands in for it.
  SetTimeout(fd, SO_RCVTIMEO, std::max<int>(waitTime, 1));
  link_.DrawProgress(1, 31, "TCP send...");
  {
    std::lock_guard lock(link_.ringMutex);
    link_.ringCount = 0;
  }
  uint8_t frame[kTcpChunk];
  const size_t n = StageFrame(link_, buf, length, frame);
  SendAll(fd, frame, n);

  char text[96];
  char dotted[INET_ADDRSTRLEN] = "";
  ::inet_ntop(AF_INET, &peer_.sin_addr, dotted, sizeof dotted);
  std::snprintf(text, sizeof text, "Receiving from %hu @ %s...", ntohs(peer_.sin_port), dotted);
  link_.DrawProgress(1, 31, text);

  uint8_t in[kTcpChunk];
  const ssize_t got = ::recv(fd, in, sizeof in, 0);
  if (got <= 0) {
    link_.ClearProgress();
    return false;
  }
  {
    std::lock_guard lock(link_.replyMutex);
    std::memcpy(link_.reply, in, static_cast<size_t>(got));
    link_.replyLen = static_cast<int16_t>(got);
  }
  {
    std::lock_guard lock(link_.ringMutex);
    std::memcpy(link_.ring, in, static_cast<size_t>(got));
    link_.ringRead = 0;
    link_.ringWrite = static_cast<int32_t>(got) % Impl::kRingSize;
    link_.ringCount = static_cast<int32_t>(got);
  }
  link_.ClearProgress();
  return true;
}

bool TcpTransport::AwaitCaptured(int count, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  const int fd = socket_.load();
  for (;;) {
    int have;
    {
      std::lock_guard lock(link_.ringMutex);
      have = link_.ringCount;
    }
    if (have >= count) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || fd < 0) return false;
    SetTimeout(fd, SO_RCVTIMEO, static_cast<int>(left));
    // Whatever has come, as the single receive of an exchange takes it: bytes beyond the answer
    // are the caller's to judge, not the next exchange's to find.
    uint8_t in[kTcpChunk];
    const ssize_t got = ::recv(fd, in, sizeof in, 0);
    if (got <= 0) return false;
    link_.AppendCaptured(in, static_cast<size_t>(got));
  }
}

uint32_t TcpTransport::Open(uint32_t address, uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 1;
  peer_ = sockaddr_in{};
  peer_.sin_family = AF_INET;
  peer_.sin_port = htons(port);
  peer_.sin_addr.s_addr = address;
  SetTimeout(fd, SO_RCVTIMEO, kConnectTimeoutMs);
  SetTimeout(fd, SO_SNDTIMEO, kConnectTimeoutMs);

  const auto start = std::chrono::steady_clock::now();
  auto attempt = [&] {
    return ::connect(fd, reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_) == 0;
  };
  bool ok = attempt();
  if (!ok &&
      std::chrono::steady_clock::now() - start < std::chrono::milliseconds(kQuickFailureMs)) {
    ok = attempt();
  }
  if (!ok) {
    ::close(fd);
    peer_ = sockaddr_in{};
    return 2;
  }
  socket_ = fd;
  return 0;
}

}  // namespace halvex

uint32_t CHalvexCtrl::ConnectTCP(uint32_t address, uint16_t port) {
  Impl& d = *d_;
  d.tcp->Close();
  d.ChooseTransport();
  const uint32_t result = d.tcp->Open(address, port);
  d.ChooseTransport();
  if (result == 0) {
    d.ClearProgress();
    d.face.Repaint();
  }
  return result;
}

// Sending and waiting through the way Connect or ConnectTCP chose, and the two receive stores
// (reply buffer and capture ring).
#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "interface/LinkState.h"
#include "platform/Event.h"
#include "transport/Transport.h"

using Impl = CHalvexCtrl::Impl;

void CHalvexCtrl::SendData(int16_t* buf, int16_t length) {
  if (halvex::Transport* way = d_->active.load()) way->Send(buf, length);
}

bool CHalvexCtrl::SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) {
  halvex::Transport* way = d_->active.load();
  return way != nullptr && way->SendAndWait(buf, length, waitTime);
}

void Impl::AppendCaptured(const uint8_t* data, size_t n) {
  {
    std::lock_guard lock(ringMutex);
    if (ringCount == 0) ringRead = ringWrite;
    for (size_t i = 0; i < n; ++i) {
      ring[ringWrite] = data[i];
      ringWrite = (ringWrite + 1) % kRingSize;
    }
    ringCount += static_cast<int32_t>(n);
    if (ringCount > kRingSize) {
      // The oldest bytes were overwritten: what is left starts right after the newest byte.
      ringCount = kRingSize;
      ringRead = ringWrite;
    }
  }
  ringGrew.notify_all();
}

bool Impl::AwaitRing(int count, int timeoutMs) {
  std::unique_lock lock(ringMutex);
  return ringGrew.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                           [&] { return ringCount >= count; });
}

void Impl::HandleChunk(const uint8_t* data, size_t n, halvex::Event* rec) {
  face.RxActivity();
  if (capture.load()) {
    AppendCaptured(data, n);
  } else {
    n = std::min(n, sizeof reply);
    {
      std::lock_guard lock(replyMutex);
      std::memcpy(reply, data, n);
      replyLen = static_cast<int16_t>(n);
    }
    if (HalvexEvents* s = sink.load()) {
      std::vector<int16_t> elements(data, data + n);
      s->DataFromCOM(elements.data(), static_cast<int16_t>(n));
    }
  }
  if (rec) rec->Set();
  face.SetRxLamp(halvex::LampState::kBlank);
}

void Impl::SetCapture(bool on) { capture = on; }

int Impl::TakeCaptured(int k, int16_t* out) {
  std::lock_guard lock(ringMutex);
  const int n = out ? std::clamp(std::min(k, ringCount), 0, kRingSize) : 0;
  for (int i = 0; i < n; ++i) out[i] = ring[(ringRead + i) % kRingSize];
  ringRead = 0;
  ringCount = 0;
  return n;
}

bool CHalvexCtrl::GetCOMbuf(int16_t* buffer, int16_t size) {
  Impl& d = *d_;
  {
    std::lock_guard lock(d.ringMutex);
    if (d.ringCount == 0 || buffer == nullptr) return false;
  }
  d.TakeCaptured(size, buffer);
  return true;
}

// Handing frames to the Send worker, waiting for replies, and the two receive stores (reply
// buffer and capture ring).
#include <algorithm>
#include <cstring>
#include <vector>

#include "halvex/SerialPort.h"
#include "interface/LinkState.h"
#include "platform/NamedSignals.h"
#include "transport/Workers.h"

using Impl = CHalvexCtrl::Impl;

namespace {
constexpr int kFirstWaitMs = 1500;
constexpr int16_t kLongWaitCode = 32700;
constexpr int kLongWaitMs = 55000;
constexpr int kPendingWaitMs = 100;
}  // namespace

void Impl::LoadSender(const int16_t* buf, int16_t length, bool start) {
  uint8_t bytes[halvex::SendWorker::kBufferSize];
  // The transmit buffer holds 512 bytes; a longer frame is cut there rather than overrun it.
  const int n = buf ? std::clamp<int>(length, 0, halvex::SendWorker::kBufferSize) : 0;
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(buf[i] & 0xFF);
  sender->Load(bytes, n, baud.load() == 19200);
  ClearReply();
  std::shared_ptr<halvex::SerialPort> p;
  {
    std::lock_guard lock(linkMutex);
    p = port;
  }
  if (p) {
    p->Purge(true, false);
    p->Purge(false, true);
  }
  if (start && busconf) busconf->Set();
}

void CHalvexCtrl::SendData(int16_t* buf, int16_t length) {
  Impl& d = *d_;
  if (d.TcpOpen()) {
    d.SendDataTcp(buf, length);
    return;
  }
  if (!d.SerialOpen()) return;
  if (d.sender->Pending()) Impl::SleepMs(kPendingWaitMs);
  d.LoadSender(buf, length, true);
}

bool CHalvexCtrl::SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) {
  Impl& d = *d_;
  if (d.TcpOpen()) return d.SendAndWaitTcp(buf, length, waitTime);
  const int retryWait = waitTime == kLongWaitCode ? kLongWaitMs : std::max<int>(waitTime, 0);

  std::shared_ptr<halvex::NamedEvent> rec;
  {
    std::lock_guard lock(d.linkMutex);
    if (!d.port) return false;
    rec = d.receventti;
  }
  rec->Reset();
  // Length 0 sends nothing and only waits for incoming data.
  const bool start = length > 0 && buf != nullptr;
  d.LoadSender(buf, length, start);
  bool got = rec->Wait(kFirstWaitMs);
  rec->Reset();
  if (got) return true;

  d.LoadSender(buf, length, start);
  got = rec->Wait(retryWait);
  rec->Reset();
  return got;
}

void Impl::HandleChunk(const uint8_t* data, size_t n, halvex::NamedEvent* rec) {
  face.RxActivity();
  if (capture.load()) {
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

// Small helpers shared by the protocol operations: sending frames, reading the reply buffer and
// the capture ring.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"

namespace halvex {

// Sends a frame and waits for an answer (1500 ms, then once more and waitTime).
inline bool Exchange(CHalvexCtrl::Impl& link, std::vector<int16_t>& frame, int waitTime) {
  return link.self.SendAndWait(frame.data(), static_cast<int16_t>(frame.size()),
                               static_cast<int16_t>(waitTime));
}

// Sends a frame without waiting.
inline void Post(CHalvexCtrl::Impl& link, std::vector<int16_t>& frame) {
  link.self.SendData(frame.data(), static_cast<int16_t>(frame.size()));
}

// The reply buffer is written by the Receive worker; readers take it under the same lock.
inline uint8_t ReplyByte(CHalvexCtrl::Impl& link, int pos) {
  std::lock_guard<std::mutex> lock(link.replyMutex);
  return (pos >= 0 && pos < static_cast<int>(sizeof(link.reply))) ? link.reply[pos] : 0;
}

// A copy of the reply buffer and its length (kept within the buffer).
struct ReplySnapshot {
  std::array<uint8_t, sizeof(CHalvexCtrl::Impl::reply)> bytes;
  int length;
};
inline ReplySnapshot TakeReplySnapshot(CHalvexCtrl::Impl& link) {
  std::lock_guard<std::mutex> lock(link.replyMutex);
  ReplySnapshot snap;
  std::copy(std::begin(link.reply), std::end(link.reply), snap.bytes.begin());
  const int n = link.replyLen;
  snap.length = n < 0 ? 0 : std::min(n, static_cast<int>(snap.bytes.size()));
  return snap;
}

// Takes up to k bytes out of the capture ring; the result holds only what was there.
inline std::vector<uint8_t> TakeCapturedBytes(CHalvexCtrl::Impl& link, int k) {
  if (k <= 0) {
    link.TakeCaptured(0, nullptr);
    return {};
  }
  std::vector<int16_t> elems(static_cast<size_t>(k), 0);
  int got = link.TakeCaptured(k, elems.data());
  if (got < 0) got = 0;
  if (got > k) got = k;
  std::vector<uint8_t> bytes(static_cast<size_t>(got));
  for (int i = 0; i < got; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(elems[i]);
  return bytes;
}

// Capture mode for the life of the scope, so that every path leaves it off.
class CaptureScope {
 public:
  explicit CaptureScope(CHalvexCtrl::Impl& link) : link_(link) { link_.SetCapture(true); }
  ~CaptureScope() { link_.SetCapture(false); }
  CaptureScope(const CaptureScope&) = delete;
  CaptureScope& operator=(const CaptureScope&) = delete;

 private:
  CHalvexCtrl::Impl& link_;
};

// Events and face updates of the protocol operations (ProtocolEvents.cpp).
void NotifyEepromBlockData(CHalvexCtrl::Impl& link, int16_t* data, int16_t blockLen,
                           int16_t startAddr, int16_t page);
void NotifyBERDataArrive(CHalvexCtrl::Impl& link, int16_t cnt);
void ShowBerIndicator(CHalvexCtrl::Impl& link, bool on);

inline std::string BytesAsText(const uint8_t* data, size_t n) {
  return std::string(reinterpret_cast<const char*>(data), n);
}

}  // namespace halvex

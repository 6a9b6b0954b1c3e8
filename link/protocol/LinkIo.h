// Small helpers shared by the protocol operations: sending frames, reading the reply buffer and
// the capture ring.
#pragma once

#include <cstdint>
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

inline uint8_t ReplyByte(const CHalvexCtrl::Impl& link, int pos) {
  return (pos >= 0 && pos < static_cast<int>(sizeof(link.reply))) ? link.reply[pos] : 0;
}

// Length of the last chunk, kept within the reply buffer.
inline int ReplyLengthOf(const CHalvexCtrl::Impl& link) {
  const int n = link.replyLen;
  if (n < 0) return 0;
  return n > static_cast<int>(sizeof(link.reply)) ? static_cast<int>(sizeof(link.reply)) : n;
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

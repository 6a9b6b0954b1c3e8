// The link object's internal state and the internal operations the protocol code builds on.
//
// Transport and interface code own this file; the protocol's own state (memory images, PRP and
// EEPROM-file tables, BER receive state) lives in protocol/ProtocolState.h and is held here as
// `proto`.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "halvex/HalvexCtrl.h"
#include "protocol/ProtocolState.h"

struct CHalvexCtrl::Impl {
  explicit Impl(CHalvexCtrl& owner) : self(owner) {}

  CHalvexCtrl& self;
  halvex::ProtocolState proto;

  // Reply buffer: the last received chunk.
  uint8_t reply[512] = {};
  int16_t replyLen = 0;

  // --- Internal operations used by protocol and boot code -------------------------------------

  // A serial port or a TCP socket is open.
  bool HasLink() const;
  bool TcpOpen() const;
  bool SerialOpen() const;

  // Capture mode: while set, received chunks go to the capture ring instead of the reply buffer.
  void SetCapture(bool on);
  // Copies up to k captured bytes (one per element, 0..255) into out, wrapping at 1000, then
  // discards the rest of the ring. Returns how many were copied.
  int TakeCaptured(int k, int16_t* out);

  // The control face's progress line.
  void DrawProgress(int x, int y, const std::string& text);
  void ClearProgress();

  // A message box of the library (to the host's message handler).
  void Message(const std::string& text, const std::string& caption);

  // One line of the tester log "TesterComm.txt" in the working folder.
  void TesterLog(int code, const std::string& text);

  // Plain wait on the caller's thread.
  static void SleepMs(int ms);
};

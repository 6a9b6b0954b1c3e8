// The link object's internal state and the internal operations the protocol code builds on.
//
// Transport and interface code own this file; the protocol's own state (memory images, PRP and
// EEPROM-file tables, BER receive state) lives in protocol/ProtocolState.h and is held here as
// `proto`.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "halvex/ControlFace.h"
#include "halvex/HalvexCtrl.h"
#include "protocol/ProtocolState.h"

namespace halvex {
class Event;
class Transport;
class SerialTransport;
class TcpTransport;
}  // namespace halvex

struct CHalvexCtrl::Impl {
  explicit Impl(CHalvexCtrl& owner);
  ~Impl();

  CHalvexCtrl& self;
  halvex::ProtocolState proto;

  // Reply buffer: the last received chunk.
  uint8_t reply[512] = {};
  int16_t replyLen = 0;

  // --- Internal operations used by protocol and boot code -------------------------------------

  // A way to the device is chosen: the serial port or a TCP socket is open.
  bool HasLink() const { return active.load() != nullptr; }
  // Commands go over TCP (a socket is open), and their silent-device codes are TCP's.
  bool OverTcp() const;
  bool TcpOpen() const;
  bool SerialOpen() const;

  // Capture mode: while set, received chunks go to the capture ring instead of the reply buffer.
  void SetCapture(bool on);
  // Copies up to k captured bytes (one per element, 0..255) into out, wrapping at 1000, then
  // discards the rest of the ring. Returns how many were copied.
  int TakeCaptured(int k, int16_t* out);

  // The control face's progress line.
  void DrawProgress(int x, int y, const std::string& text);
  void DrawProgress(int x, int y, const std::string& text, halvex::Rgb foreground,
                    halvex::Rgb background);
  void ClearProgress();
  // The "Waiting BER data..." indicator.
  void ShowBerWaiting(bool on);

  // A message box of the library (to the host's message handler).
  void Message(const std::string& text, const std::string& caption);

  // One line of the tester log "TesterComm.txt" in the working folder.
  void TesterLog(int code, const std::string& text);

  // Plain wait on the caller's thread.
  static void SleepMs(int ms);

  // The open serial port's number (0 when closed) and the baud rate it was opened at.
  int16_t ComPort() const;
  int16_t Baud() const;
  // The boot-load stream sets this to suspend the RTS/CTS handshake.
  void SetBootFlag(bool on);
  bool BootFlag() const;

  // --- Transport (transport/) ------------------------------------------------------------------

  // The Receive worker's handler for one batch outside BER mode.
  void HandleChunk(const uint8_t* data, size_t n, halvex::Event* receventti);
  // Adds bytes to the capture ring, wrapping at 1000 (the oldest are overwritten).
  void AppendCaptured(const uint8_t* data, size_t n);
  // Waits at most timeoutMs until the capture ring holds `count` bytes.
  bool AwaitRing(int count, int timeoutMs);
  void ClearReply();

  // The two ways to the device, and the one Connect or ConnectTCP chose (nullptr: no link).
  // Chosen and used on the host's thread.
  std::unique_ptr<halvex::SerialTransport> serial;
  std::unique_ptr<halvex::TcpTransport> tcp;
  std::atomic<halvex::Transport*> active{nullptr};
  // After a close: the serial port when it is still open, else none.
  void ChooseTransport();

  std::mutex replyMutex;  // writers of reply/replyLen

  // Capture ring.
  static constexpr int kRingSize = 1000;
  mutable std::mutex ringMutex;
  std::condition_variable ringGrew;  // a chunk was added to the ring
  uint8_t ring[kRingSize] = {};
  int32_t ringRead = 0;
  int32_t ringWrite = 0;
  int32_t ringCount = 0;
  std::atomic<bool> capture{false};

  // Host integration.
  std::atomic<HalvexEvents*> sink{nullptr};
  std::mutex hostMutex;
  MessageHandler messageHandler;
  std::map<int16_t, std::string> comPaths;
  halvex::ControlFace face;

  // Why the last open of a port or a file failed (LastFailure), on the host's thread.
  std::string lastFailure;
  bool quietPortFailures = false;  // a busy or forbidden port is not handed to the host

  // Properties.
  bool bootType = false;
  bool resetType = false;
  mutable bool modified = false;
};

// What the boot loader needs of the link object: raw exchanges, the port at the boot speed, the
// Send worker's boot flag, the control face and message boxes.
#pragma once

#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "halvex/ControlFace.h"
#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"

namespace halvex::boot {

class BootLink {
 public:
  explicit BootLink(CHalvexCtrl::Impl& link) : link_(link) {}
  // The load's progress ends with the load, on every path.
  ~BootLink() { EndLoadProgress(); }
  BootLink(const BootLink&) = delete;
  BootLink& operator=(const BootLink&) = delete;

  CHalvexCtrl& Ctrl() { return link_.self; }

  // Sends the bytes raw and waits for an answer (1500 ms, then once more and waitTime).
  bool Exchange(const uint8_t* bytes, size_t n, int waitTime);
  bool Exchange(std::initializer_list<uint8_t> bytes, int waitTime);
  // Sends nothing and waits for incoming data.
  bool AwaitData(int waitTime);
  uint8_t ReplyByte0() const;

  // The serial port number in use now (0 when closed).
  int16_t PortNumber() const;
  // Closes the link and opens the current port again at `baud`.
  void Reopen(int16_t baud);
  void PurgeSerial();
  // While set, the Send worker skips the RTS/CTS handshake.
  void SetSendBootFlag(bool on);

  void Draw(int x, int y, const std::string& text, Rgb fg, Rgb bg);
  void ClearProgress() { link_.ClearProgress(); }
  // Load progress on the face: 0 of `total` exchanges, one more each Advance.
  void StartLoadProgress(uint32_t total);
  void AdvanceLoadProgress();
  void EndLoadProgress();
  void Message(const std::string& text, const std::string& caption) {
    link_.Message(text, caption);
  }
  // Why a file was refused (the link's LastFailure); the message `text` gains the reason on a
  // line of its own unless the file was simply not there.
  std::string Refusal(const std::string& text, int error, const std::string& reason) {
    link_.lastFailure = reason;
    return error == ENOENT || reason.empty() ? text : text + "\n" + reason;
  }
  void Sleep(int ms) { CHalvexCtrl::Impl::SleepMs(ms); }
  // The desktop's wait cursor and warning beep have no counterpart in the library: progress is
  // shown on the control's face and results go to the host.
  void WaitCursor(bool /*on*/) {}
  void Beep() {}

 private:
  CHalvexCtrl::Impl& link_;
  bool loadProgress_ = false;
  uint32_t done_ = 0;
  uint32_t total_ = 0;
};

}  // namespace halvex::boot

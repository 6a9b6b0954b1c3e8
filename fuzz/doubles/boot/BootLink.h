// A simulated bootstrap in place of the link, for the program-file fuzz target. The target puts
// this folder before link/ on its include path, so the boot transfer compiled into it sends its
// frames here instead of to a port; it has the members of the real BootLink that the transfer
// uses. The bootstrap confirms records with their checksum and blocks with 0x0A until
// `confirmLimit` exchanges, then falls silent or answers wrongly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "halvex/ControlFace.h"

namespace halvex::boot {

class BootLink {
 public:
  bool binary = false;  // blocks of the binary firmware, else S-records
  size_t confirmLimit = std::numeric_limits<size_t>::max();
  bool silentAfterLimit = true;

  std::vector<std::vector<uint8_t>> sent;
  size_t advances = 0;

  bool Exchange(const uint8_t* bytes, size_t n, int /*waitTime*/) {
    sent.emplace_back(bytes, bytes + n);
    uint8_t confirmation = 0x0A;
    if (!binary) {
      confirmation = 0;
      for (size_t i = 3; i < n; ++i) confirmation = static_cast<uint8_t>(confirmation + bytes[i]);
    }
    if (sent.size() <= confirmLimit) {
      reply_ = confirmation;
      return true;
    }
    if (silentAfterLimit) return false;
    reply_ = static_cast<uint8_t>(confirmation + 1);
    return true;
  }
  bool Exchange(std::initializer_list<uint8_t> bytes, int waitTime) {
    return Exchange(bytes.begin(), bytes.size(), waitTime);
  }
  uint8_t ReplyByte0() const { return reply_; }

  void Draw(int, int, const std::string&, Rgb, Rgb) {}
  void ClearProgress() {}
  void AdvanceLoadProgress() { ++advances; }
  void Message(const std::string&, const std::string&) {}
  void Sleep(int) {}
  void WaitCursor(bool) {}
  void Beep() {}

 private:
  uint8_t reply_ = 0;
};

}  // namespace halvex::boot

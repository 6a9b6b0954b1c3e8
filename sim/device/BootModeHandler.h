#pragma once
// Hook for the device's boot loader (the ROM loader and the bootstrap).
//
// In normal mode the device parses command frames; the boot request 0x13 and boot length 0x14
// frames are offered to the handler first (OnFrame). In boot mode every received byte goes raw to
// the handler (OnBootBytes) instead of the frame parser. The handler answers by appending bytes to
// `answer`; they are sent after the device's usual answer delay. The handler switches modes with
// BootControl::SetBootMode; SimDevice::SetBootMode does the same from outside (a device put into
// boot mode by hand). All calls come from the device's thread with the device lock held, so the
// handler must not call back into SimDevice, only into BootControl.

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "device/DeviceIdentity.h"
#include "device/DeviceMemory.h"
#include "device/FrameParser.h"

namespace qelta::sim {

// What a boot handler may do to the device while one of its calls runs.
class BootControl {
 public:
  virtual ~BootControl() = default;
  virtual void SetBootMode(bool on) = 0;
  virtual bool BootMode() const = 0;
  virtual DeviceMemory& Memory() = 0;
  virtual const DeviceIdentity& Identity() const = 0;
  // Sends `bytes` `after` the device's usual answer delay, counted from the current call (for an
  // answer that comes when a slow job such as an erase is done).
  virtual void AnswerLater(std::vector<std::uint8_t> bytes, std::chrono::milliseconds after) = 0;
};

class BootModeHandler {
 public:
  virtual ~BootModeHandler() = default;

  // A complete frame in normal mode with code 0x13 or 0x14. Returns false when the handler does not
  // take it (the device then ignores the frame).
  virtual bool OnFrame(const CommandFrame& frame, BootControl& device,
                       std::vector<std::uint8_t>& answer) = 0;

  // Raw bytes received in boot mode.
  virtual void OnBootBytes(std::span<const std::uint8_t> bytes, BootControl& device,
                           std::vector<std::uint8_t>& answer) = 0;

  // The device entered or left boot mode (through either road) or was reset.
  virtual void OnModeChange(bool /*boot_mode*/) {}

  // The flash the loaders programmed, for the state file (empty: the handler keeps none).
  virtual std::vector<std::uint8_t> Flash() const { return {}; }
  // Puts saved flash contents back; what lies beyond the handler's flash is ignored.
  virtual void RestoreFlash(std::span<const std::uint8_t> /*contents*/) {}
};

}  // namespace qelta::sim

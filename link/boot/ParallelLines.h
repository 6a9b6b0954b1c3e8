// The device's boot-mode (bit 0) and reset (bit 1) lines on the parallel port, driven through a
// process-wide shadow of the data register.
#pragma once

#include <cstdint>

#include "boot/BootLink.h"

namespace halvex::boot {

inline constexpr uint8_t kBootLine = 0x01;
inline constexpr uint8_t kResetLine = 0x02;

// Sets or clears `bits` in the shadow byte and writes it to the port when it changed.
void SetLines(uint8_t bits, bool on);

// Boot mode on: boot line up, a reset pulse.
void EnterBootMode(BootLink& link);
// Boot mode off: boot line down, a reset pulse, time for the new firmware to start.
void LeaveBootMode(BootLink& link);

}  // namespace halvex::boot

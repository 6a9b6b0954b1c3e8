#include "boot/ParallelLines.h"

#include "boot/BootState.h"
#include "platform/ParallelPort.h"

namespace halvex::boot {

void SetLines(uint8_t bits, bool on) {
  auto& shadow = Process().parallelShadow;
  uint8_t before = shadow.load();
  uint8_t after = 0;
  do {
    after = on ? static_cast<uint8_t>(before | bits) : static_cast<uint8_t>(before & ~bits);
  } while (!shadow.compare_exchange_weak(before, after));
  if (after != before) WriteParallelData(after);
}

void EnterBootMode(BootLink& link) {
  SetLines(kBootLine, true);
  link.Sleep(1000);
  SetLines(kResetLine, true);
  link.Sleep(1000);
  SetLines(kResetLine, false);
  link.Sleep(500);
}

void LeaveBootMode(BootLink& link) {
  SetLines(kBootLine, false);
  link.Sleep(1000);
  SetLines(kResetLine, true);
  link.Sleep(1000);
  SetLines(kResetLine, false);
  link.Sleep(2000);
}

}  // namespace halvex::boot

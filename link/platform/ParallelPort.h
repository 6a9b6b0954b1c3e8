// The first parallel port's data register, which drives a device's boot-mode and reset lines.
// Reached through ppdev (/dev/parport0); without a port the values are only logged.
#pragma once

#include <cstdint>
#include <functional>

namespace halvex {

// Writes `value` to the data register. False when no port could be driven (the value is then
// logged on standard error instead).
bool WriteParallelData(uint8_t value);

// Replaces the port (tests, hosts with their own line driver); an empty function restores ppdev.
using ParallelWriter = std::function<bool(uint8_t value)>;
void SetParallelWriter(ParallelWriter writer);

}  // namespace halvex

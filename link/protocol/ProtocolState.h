// The protocol's share of the link object's state: memory images, PRP and EEPROM-file tables and
// the BER receive state.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "halvex/HalvexCtrl.h"

namespace halvex {

struct ProtocolState {
  // BER receive mode: while on, received batches go to BerReceive instead of the reply handler.
  std::atomic<bool> berMode{false};
};

// Hands one received batch to the BER parser (Receive worker thread, BER mode on).
void BerReceive(CHalvexCtrl::Impl& link, const uint8_t* data, size_t n);

// Marks the process-wide device-information cache invalid; Connect calls it.
void InvalidateDeviceInfo();

}  // namespace halvex

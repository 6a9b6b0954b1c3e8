// The link's four events. A host derives from HalvexEvents and overrides what it wants; the
// arrays handed to an event are valid only during the call.
#pragma once

#include <cstdint>
#include <string>

struct HalvexEvents {
  virtual ~HalvexEvents() = default;
  // Every chunk received on the serial port outside capture and BER modes (Receive worker thread).
  virtual void DataFromCOM(int16_t* /*data*/, int16_t /*length*/) {}
  // Declared; never fired.
  virtual void BootMessage(const std::string& /*data*/, int32_t /*size*/, int16_t /*length*/) {}
  // End of a successful ReadEepromBlock (caller's thread).
  virtual void EepromBlockData(int16_t* /*data*/, int16_t /*blockLen*/, int16_t /*startAddr*/,
                               int16_t /*page*/) {}
  // A complete BER frame was received (Receive worker thread).
  virtual void BERDataArrive(int16_t /*cnt*/) {}
};

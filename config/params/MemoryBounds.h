// Where a memory write lands on a device, and a guard that sends no write that lands outside the
// device's memory. A write frame carries the address as two bytes X and Y: on EEPROM pages 0 and
// 1 X is the page and Y the address's low byte, on other pages X is the address shifted right by
// 8. A type 8 device has one 16-bit address space X*256+Y (shown as page 2); any other type has
// only its two EEPROM pages of 256 bytes (X = 0 or 1, address Y).
//
// A write is refused when its bytes run past the end of that memory, when no page answers to its
// address bytes, or when its address does not fit the one byte Y of an EEPROM page (the device
// would keep the bytes at another address than the one asked for).
#pragma once

#include <cstdint>
#include <string>

#include "params/ForwardingParamLink.h"
#include "params/OutputRows.h"

namespace qelta {

struct WriteLanding {
  int16_t page = 0;      // 0 or 1 (EEPROM pages), 2 (extended memory), else what was asked for
  uint32_t address = 0;  // of the first byte, within that page
  bool refused = false;  // nothing of the write would be kept where it was meant to go
};

WriteLanding LandWrite(int16_t deviceType, int16_t addr, int16_t page, std::size_t count);

// The upload's link to a device of a known type: every call goes on to `link`, except a memory
// write that LandWrite refuses. Such a write is not sent; the failure row "Write outside the
// device's memory" (page:addresses as asked for, and what the upload was performing) takes its
// place, and the call answers as the device answers a refused write (the NAK status, or true: a
// reply came), so that the upload goes on with its next line as it does on the device.
class MemoryBoundsLink final : public ForwardingParamLink {
 public:
  static constexpr int16_t kRefusedStatus = 0x15;

  MemoryBoundsLink(ParamLink& link, OutputRows& rows, int16_t deviceType)
      : ForwardingParamLink(link), rows_(rows), type_(deviceType) {}

  int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page) override;
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) override;
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) override;
  void SetCurrentSource(const std::string& source) override {
    source_ = source;
    link_.SetCurrentSource(source);
  }

 private:
  // True (with the failure row posted) when the write must not be sent.
  bool Refuse(int16_t addr, int16_t page, std::size_t count);

  OutputRows& rows_;
  int16_t type_;
  std::string source_;
};

}  // namespace qelta

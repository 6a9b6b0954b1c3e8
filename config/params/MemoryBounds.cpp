#include "params/MemoryBounds.h"

namespace qelta {

namespace {

constexpr uint32_t kEepromPageSize = 256;
constexpr uint32_t kExtendedSize = 32768;
constexpr int16_t kTypeExtendedMemory = 8;

}  // namespace

WriteLanding LandWrite(int16_t deviceType, int16_t addr, int16_t page, std::size_t count) {
  const bool eepromPage = page == 0 || page == 1;
  const auto x = static_cast<uint8_t>(eepromPage ? page : (addr >> 8) & 0xFF);
  const auto y = static_cast<uint8_t>(addr & 0xFF);
  WriteLanding landing;
  // On an EEPROM page only the low byte travels: a larger address would land at another one.
  const bool outsidePage =
      eepromPage && (addr < 0 || addr >= static_cast<int16_t>(kEepromPageSize));
  if (deviceType == kTypeExtendedMemory && !outsidePage) {
    landing.page = 2;
    landing.address = uint32_t{x} * 256 + y;
    landing.refused = landing.address + count > kExtendedSize;
  } else if (x <= 1 && !outsidePage) {
    landing.page = x;
    landing.address = y;
    landing.refused = landing.address + count > kEepromPageSize;
  } else {
    // No page of the device answers to these address bytes: say what was asked for.
    landing.page = page;
    landing.address = static_cast<uint16_t>(addr);
    landing.refused = true;
  }
  return landing;
}

bool MemoryBoundsLink::Refuse(int16_t addr, int16_t page, std::size_t count) {
  if (count == 0 || !LandWrite(type_, addr, page, count).refused) return false;
  const auto first = static_cast<uint16_t>(addr);
  std::string where = std::to_string(page) + ":" + std::to_string(first);
  if (count > 1) where += "-" + std::to_string(first + count - 1);
  rows_.AddOutputRow("Write outside the device's memory", where, kImageFailure);
  rows_.SetRowText(rows_.RowCount() - 1, 2, source_);
  return true;
}

int16_t MemoryBoundsLink::SetEepromVal(int16_t addr, int16_t data, int16_t page) {
  if (Refuse(addr, page, 1)) return kRefusedStatus;
  return link_.SetEepromVal(addr, data, page);
}

bool MemoryBoundsLink::WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length,
                                          int16_t* data) {
  if (length > 0 && Refuse(addr, page, static_cast<std::size_t>(length))) return true;
  return link_.WriteBlockToEeprom(addr, page, length, data);
}

bool MemoryBoundsLink::WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) {
  if (Refuse(address, page, txt.size())) return true;
  return link_.WriteStringToEeprom(address, page, txt);
}

}  // namespace qelta

// The bytes of one data line of a DATABLOCK: comma-ended items, each a decimal number (one byte,
// or two bytes high first above 255), a hexadecimal byte (0x1F) or a quoted text ('AB').
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qelta {

std::vector<uint8_t> ParseDataLine(std::string_view line);

}  // namespace qelta

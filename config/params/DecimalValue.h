// Decimal conversion of values taken from configuration and template files: leading white space
// skipped, an optional sign, digits up to the first non-digit, no digits giving 0, trailing text
// ignored. Out-of-range numbers saturate instead of overflowing.
#pragma once

#include <cstdint>
#include <string_view>

namespace qelta {

int32_t ParseDecimal(std::string_view text);

// The value cut to its low 16 bits, as the link's 16-bit arguments take it.
inline int16_t CutTo16(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

}  // namespace qelta

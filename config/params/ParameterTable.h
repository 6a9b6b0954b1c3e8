// The device's parameter vocabulary: every name a configuration file may set, with its kind,
// address on the target page, allowed range, default and warning rows.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qelta {

enum class ParamKind {
  kNumber,      // one byte at `address`
  kPassword,    // 16 bits, high byte at 141, low byte at 142
  kEncryptKey,  // 24 bits at 138..140, most significant first, no range check
  kChannel,     // the channel byte: 125 on page 2, 13 on page 0
  kTextCut20,   // exactly 20 characters: cut or padded with spaces
  kTextPad20,   // padded with spaces to 20 characters
  kBtAddress,   // 12 characters, a length warning otherwise
  kBtName,      // up to 12 characters padded with spaces; empty clears the name
  kReset,       // resets the device, writes nothing
  kFunctionKeyText,
  kFunctionKeySend,
};

struct ParamDef {
  std::string_view name;
  ParamKind kind;
  uint16_t address = 0;
  // Range check: a value below `low` (when set) or above `high` (when set) is replaced by
  // `defaultValue` after the warning rows have been posted.
  std::optional<int32_t> low;
  std::optional<int32_t> high;
  int32_t defaultValue = 0;
  std::vector<std::string_view> warnings;
  int functionKey = 0;  // 1..10 for the function-key kinds
};

// All 75 entries, in the order in which names are compared.
std::span<const ParamDef> ParameterTable();

// Exact, case-sensitive lookup; nullptr for a name that is not in the table.
const ParamDef* FindParameter(std::string_view name);

inline constexpr uint16_t kChannelAddressPage0 = 13;
inline constexpr uint16_t kChannelAddressPage2 = 125;
inline constexpr int kFunctionKeyCount = 10;
inline constexpr int kFunctionKeySlotSize = 16;
// Page 2 address of the length byte of key n (1..10); the text follows it.
inline constexpr int16_t FunctionKeyLengthAddress(int n) {
  return static_cast<int16_t>(215 + kFunctionKeySlotSize * (n - 1));
}

}  // namespace qelta

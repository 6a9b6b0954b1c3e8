// The function-key table of the configuration upload: keys F1 to F10, each a text and a send flag.
// It lives for the whole program run, so send flags carry over from one upload to the next.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace qelta {

struct FunctionKeyEntry {
  std::string text;
  int32_t send = 0;
  bool operator==(const FunctionKeyEntry&) const = default;
};
using FunctionKeyTable = std::array<FunctionKeyEntry, 10>;

}  // namespace qelta

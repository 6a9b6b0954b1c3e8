#include "params/DataLineItems.h"

#include <string>

namespace qelta {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::vector<uint8_t> ParseDataLine(std::string_view line) {
  enum class State { kIdle, kDecimal, kHex, kText };
  std::vector<uint8_t> bytes;
  State state = State::kIdle;
  uint32_t decimal = 0;
  std::string collected;
  for (char c : line) {
    switch (state) {
      case State::kIdle:
        if (c >= '0' && c <= '9') {
          state = State::kDecimal;
          decimal = static_cast<uint32_t>(c - '0');
        } else if (c == '\'') {
          state = State::kText;
          collected.clear();
        }
        break;
      case State::kDecimal:
        if (c >= '0' && c <= '9') {
          decimal = (decimal * 10 + static_cast<uint32_t>(c - '0')) & 0xFFFF;
        } else if (c == 'x' || c == 'X') {
          state = State::kHex;
          collected.clear();
        } else if (c == ',') {
          const auto value = static_cast<int16_t>(static_cast<uint16_t>(decimal));
          if (value > 255) bytes.push_back(static_cast<uint8_t>(value >> 8));
          bytes.push_back(static_cast<uint8_t>(value & 0xFF));
          state = State::kIdle;
        }
        break;
      case State::kHex:
        if (c == ',') {
          int value = 0;
          const int high = collected.size() > 0 ? HexDigit(collected[0]) : -1;
          const int low = collected.size() > 1 ? HexDigit(collected[1]) : -1;
          if (high >= 0) value = high << 4;
          if (low >= 0) value |= low;
          bytes.push_back(static_cast<uint8_t>(value));
          state = State::kIdle;
        } else {
          collected.push_back(c);
        }
        break;
      case State::kText:
        if (c == ',') {
          for (char t : collected) bytes.push_back(static_cast<uint8_t>(t));
          state = State::kIdle;
        } else if (c != '\'') {
          collected.push_back(c);
        }
        break;
    }
  }
  return bytes;
}

}  // namespace qelta

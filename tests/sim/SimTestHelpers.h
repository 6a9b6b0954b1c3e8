#pragma once
// Frames as the link builds them, for the simulator's tests.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace qelta::sim::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Frame(std::uint8_t code, const Bytes& args = {}) {
  Bytes frame;
  frame.reserve(args.size() + 4);
  frame.push_back(0x02);
  frame.push_back(static_cast<std::uint8_t>(args.size() + 1));
  frame.push_back(code);
  for (std::uint8_t b : args) frame.push_back(b);
  frame.push_back(0x03);
  return frame;
}

// The link's address bytes for (address, page): page 0/1 -> (page, low byte), anything else ->
// (address >> 8, low byte).
inline Bytes Address(int address, int page) {
  if (page == 0 || page == 1) {
    return {static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(address & 0xFF)};
  }
  return {static_cast<std::uint8_t>((address >> 8) & 0xFF),
          static_cast<std::uint8_t>(address & 0xFF)};
}

inline Bytes ReadFrame(int address, int page, std::uint8_t count) {
  Bytes args{count};
  for (auto b : Address(address, page)) args.push_back(b);
  return Frame(0x0F, args);
}

inline Bytes WriteFrame(int address, int page, const Bytes& data) {
  Bytes args{static_cast<std::uint8_t>(data.size())};
  for (auto b : Address(address, page)) args.push_back(b);
  for (std::uint8_t b : data) args.push_back(b);
  return Frame(0x10, args);
}

}  // namespace qelta::sim::test

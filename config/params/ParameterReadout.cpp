#include "params/ParameterReadout.h"

#include <strings.h>

#include <cstdio>

namespace qelta {

ReadoutKeys::ReadoutKeys() {
  for (size_t n = 0; n < text.size(); ++n) {
    text[n] = "F" + std::to_string(n + 1);
    send[n] = 1;
  }
}

namespace {

void DecodeFunctionKey(const SelectionEntry& entry, const ReadoutImage& image, ReadoutKeys& keys) {
  int key = 0;
  for (int n = 1; n <= 10; ++n) {
    if (entry.name == "F" + std::to_string(n)) key = n;
  }
  if (key == 0) return;
  // The slot's bytes; a slot that runs past the image ends there.
  auto at = [&](uint32_t offset) -> uint8_t {
    const uint64_t address = uint64_t{entry.address} + offset;
    return address < image.size() ? image[address] : 0;
  };
  if (at(0) > 15) return;
  uint32_t end = 15;
  uint32_t send = 0;
  for (uint32_t i = 1; i <= 15; ++i) {
    if (at(i) == '\n') {
      send = 1;
      end = i;
      break;
    }
  }
  std::string text;
  for (uint32_t i = 1; i < end && at(i) != 0; ++i) text.push_back(static_cast<char>(at(i)));
  keys.text[key - 1] = text;
  keys.send[key - 1] = send;
}

}  // namespace

std::string DecodeSelectionEntry(const SelectionEntry& entry, const ReadoutImage& image,
                                 ReadoutKeys& keys, std::string& out) {
  if (entry.address >= image.size() || uint64_t{entry.address} + entry.length >= image.size() ||
      entry.length == 0) {
    return {};
  }
  const uint8_t* d = image.data() + entry.address;
  switch (entry.kind) {
    case SelectionKind::kNumeric: {
      uint32_t value = 0;
      for (uint32_t i = 0; i < entry.length; ++i) value = (value << 8) | d[i];
      char line[64];
      if (strcasecmp(entry.name.c_str(), "channel") == 0) {
        std::snprintf(line, sizeof line, "// Channel addr=%hu, value=%hu\n",
                      static_cast<unsigned short>(entry.address),
                      static_cast<unsigned short>(value));
        out += line;
      }
      std::snprintf(line, sizeof line, ":%lu\n", static_cast<unsigned long>(value));
      out += entry.name + line;
      return "Numeric";
    }
    case SelectionKind::kText: {
      out += entry.name + ":";
      for (uint32_t i = 0; i < entry.length && d[i] != 0; ++i) {
        out.push_back(d[i] >= 32 && d[i] <= 126 ? static_cast<char>(d[i]) : ' ');
      }
      out += "\n";
      return "String";
    }
    case SelectionKind::kFunctionKeyText:
      DecodeFunctionKey(entry, image, keys);
      return "F-key text";
  }
  return "UNKNOWN TYPE";
}

std::string FunctionKeySection(const ReadoutKeys& keys) {
  std::string out = "// Function keys:\n";
  for (size_t n = 1; n <= keys.text.size(); ++n) {
    out += "F" + std::to_string(n) + "SEND:" + std::to_string(keys.send[n - 1]) + "\n";
    out += "F" + std::to_string(n) + "TXT:" + keys.text[n - 1] + "\n";
  }
  return out;
}

}  // namespace qelta

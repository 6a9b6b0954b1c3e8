// The parameter read-out: a hand terminal's extended memory decoded by the selection table into
// the lines of a configuration file that the upload accepts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "params/ReadSetup.h"

namespace qelta {

inline constexpr size_t kReadoutImageSize = 512;
using ReadoutImage = std::array<uint8_t, kReadoutImageSize>;

// Function-key section of the read-out: texts "F1".."F10" and send flags 1 until a
// function-key entry replaces them.
struct ReadoutKeys {
  std::array<std::string, 10> text;
  std::array<uint32_t, 10> send{};
  ReadoutKeys();
};

// Decodes one selection entry from the image: appends its lines to `out` (function-key entries
// change `keys` instead). Returns the caption of its kind ("Numeric", "String", "F-key text",
// "UNKNOWN TYPE"), or an empty text for an entry outside the image, which is skipped.
std::string DecodeSelectionEntry(const SelectionEntry& entry, const ReadoutImage& image,
                                 ReadoutKeys& keys, std::string& out);

// "// Function keys:" and the FnSEND / FnTXT lines of the ten keys.
std::string FunctionKeySection(const ReadoutKeys& keys);

}  // namespace qelta

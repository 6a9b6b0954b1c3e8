#include "core/ControlCharacters.h"

namespace qelta {

std::string EscapeControlCharacters(std::string_view text, LineBreaks lineBreaks) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool control = byte < 0x20 || byte == 0x7F;
    const bool kept = lineBreaks == LineBreaks::Keep && (c == '\t' || c == '\n');
    if (!control || kept) {
      out += c;
      continue;
    }
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
  }
  return out;
}

}  // namespace qelta

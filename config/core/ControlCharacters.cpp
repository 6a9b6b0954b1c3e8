#include "core/ControlCharacters.h"

namespace qelta {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendEscaped(std::string& out, unsigned code) {
  out += "\\x";
  out += kHex[(code >> 4) & 0x0F];
  out += kHex[code & 0x0F];
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text, LineBreaks lineBreaks) {
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
    AppendEscaped(out, byte);
  }
  return out;
}

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  if (i >= text.size()) return 0;
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((at(k) & 0xC0) != 0x80) return 0;
  return length;
}

std::string Utf8ShownText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t n = Utf8SequenceLength(text, i);
    // The character's code where it matters here: ASCII, a byte taken as Latin-1, and the
    // two-byte forms of U+0080 to U+00FF.
    unsigned code = 0x100;
    if (n <= 1) {
      code = byte;
    } else if (n == 2 && byte <= 0xC3) {
      code = ((byte & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
    }
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) {
      AppendEscaped(out, code);
    } else if (n > 0) {
      out.append(text, i, n);
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
    i += n > 0 ? n : 1;
  }
  return out;
}

}  // namespace qelta

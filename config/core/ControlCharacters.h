// Texts from devices, modules and configuration files shown on a terminal or written to the
// session log: a control character (below 0x20, and 0x7F) could move the cursor, recolour or
// rewrite what the operator reads, so it is shown as \xHH instead. Tabs and line breaks stay
// when the caller's format needs them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qelta {

enum class LineBreaks { Escape, Keep };

std::string EscapeControlCharacters(std::string_view text,
                                    LineBreaks lineBreaks = LineBreaks::Escape);

// The length of the well-formed UTF-8 sequence at text[i] (no overlong forms, no surrogates,
// nothing above U+10FFFF); 0 when the byte there does not start one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// A text from a device or a module made whole UTF-8, for files and for other programs: its
// well-formed UTF-8 stays as it is, every other byte is taken as a Latin-1 character (the
// modules' documents declare ISO-8859-1), and every control character (U+0000 to U+001F, U+007F
// to U+009F) is shown as \xHH with its code, as EscapeControlCharacters shows the C0 ones.
std::string Utf8ShownText(std::string_view text);

}  // namespace qelta

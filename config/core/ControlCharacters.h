// Texts from devices, modules and configuration files shown on a terminal or written to the
// session log: a control character (below 0x20, and 0x7F) could move the cursor, recolour or
// rewrite what the operator reads, so it is shown as \xHH instead. Tabs and line breaks stay
// when the caller's format needs them.
#pragma once

#include <string>
#include <string_view>

namespace qelta {

enum class LineBreaks { Escape, Keep };

std::string EscapeControlCharacters(std::string_view text,
                                    LineBreaks lineBreaks = LineBreaks::Escape);

}  // namespace qelta

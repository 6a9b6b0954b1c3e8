// Which bootstrap a firmware file name asks for.
#pragma once

#include <string>

#include "boot/BootState.h"

namespace halvex::boot {

enum class PromptKind { None, HandTerminal, BaseStation };

struct BootFileChoice {
  std::string bootFile;  // empty when no rule matched
  PromptKind prompt = PromptKind::None;
  BootFileMode mode = BootFileMode::SRecords;
};

// Tests the lower-cased name for "bs4"/"bs7", "hs7", "bsbt", "hsbt" in this order; a later match
// replaces an earlier one.
BootFileChoice ChooseBootFile(const std::string& firmwareName);

}  // namespace halvex::boot

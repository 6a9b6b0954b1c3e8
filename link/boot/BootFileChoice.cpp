#include "boot/BootFileChoice.h"

#include <algorithm>
#include <cctype>

namespace halvex::boot {

BootFileChoice ChooseBootFile(const std::string& firmwareName) {
  std::string name = firmwareName;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  auto has = [&name](const char* part) { return name.find(part) != std::string::npos; };

  BootFileChoice choice;
  if (has("bs4") || has("bs7")) {
    choice = {"boot11.A20", PromptKind::BaseStation, BootFileMode::SRecords};
  }
  if (has("hs7")) choice = {"boot1.A20", PromptKind::HandTerminal, BootFileMode::SRecords};
  if (has("bsbt")) {
    choice = {"5VBOOT11.a20", PromptKind::BaseStation, BootFileMode::BaseStationBinary};
  }
  if (has("hsbt")) {
    choice = {"5vboot.a20", PromptKind::HandTerminal, BootFileMode::HandTerminalBinary};
  }
  return choice;
}

}  // namespace halvex::boot

#include "core/TextEditor.h"

#include <sstream>

#include "core/SettingsStore.h"

namespace qelta {

std::vector<std::string> TextEditorCommand(SettingsStore& settings) {
  SettingsDocument doc;
  std::vector<std::string> argv;
  if (settings.Open(doc) == 0) {
    if (auto text = ReadTextValue(doc, "TextEditor", 1000)) {
      std::istringstream words(*text);
      for (std::string word; words >> word;) argv.push_back(word);
    }
  }
  if (argv.empty()) argv.push_back("xdg-open");
  return argv;
}

}  // namespace qelta

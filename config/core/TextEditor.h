// The user's text editor, for the files the program writes and then shows (read-outs, inventories).
#pragma once

#include <string>
#include <vector>

class SettingsStore;

namespace qelta {

// The "TextEditor" setting (a command, split at blanks) when there is one, otherwise the desktop's
// choice through xdg-open. The file to open is appended by the caller.
std::vector<std::string> TextEditorCommand(SettingsStore& settings);

}  // namespace qelta

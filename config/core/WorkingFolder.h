// The program's working folder: the executable's folder when it is a build tree (writable, and
// not an installed program's folder), else $XDG_DATA_HOME/QeltaConfig (default
// ~/.local/share/QeltaConfig), seeded with the installed data files that are not there yet.
// An installed program's folder is one with the installed data beside it
// (<prefix>/share/qeltaconfig) or one under /usr, /bin or /sbin: the program never writes there,
// not even as root, who may write anywhere. Always ends with '/'.
#pragma once

#include <string>

#include "core/FileAccess.h"

struct WorkingFolderPlan {
  std::string exePath;           // the program file; empty: /proc/self/exe
  std::string dataHome;          // empty: from $XDG_DATA_HOME / $HOME
  std::string installedDataDir;  // empty: <exe folder>/../share/qeltaconfig
};

// Chooses (and if needed creates and seeds) the working folder. Returns "" when none could be
// created; the caller then stays in the current directory.
std::string ChooseWorkingFolder(IFileAccess& files, const WorkingFolderPlan& plan);

// The folder of a path, with a trailing '/'.
std::string FolderOf(const std::string& path);

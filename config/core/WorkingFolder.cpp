#include "core/WorkingFolder.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "./";
  return path.substr(0, slash + 1);
}

namespace {

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home && home[0] ? home : "/tmp") + "/.local/share";
}

// The system's own program folders, where only packages put files.
bool InSystemFolder(const std::string& dir) {
  for (const char* system : {"/usr/", "/bin/", "/sbin/"})
    if (dir.rfind(system, 0) == 0) return true;
  return false;
}

}  // namespace

std::string ChooseWorkingFolder(IFileAccess& files, const WorkingFolderPlan& plan) {
  std::string exe = plan.exePath.empty() ? ExecutablePath() : plan.exePath;
  std::string exeDir = exe.empty() ? std::string() : FolderOf(exe);
  std::string installed = plan.installedDataDir;
  if (installed.empty() && !exeDir.empty()) installed = exeDir + "../share/qeltaconfig";
  const bool installedProgram =
      InSystemFolder(exeDir) || (!installed.empty() && files.Exists(installed));
  if (!exeDir.empty() && !installedProgram && files.IsWritableDir(exeDir)) return exeDir;

  std::string folder = (plan.dataHome.empty() ? DataHome() : plan.dataHome) + "/QeltaConfig/";
  if (files.MakeDirs(folder.substr(0, folder.size() - 1), 0700) != 0) return {};
  if (!installed.empty()) {
    if (installed.back() != '/') installed += '/';
    // Seed only what is missing: the user's own edits of the text files stay.
    for (const auto& name : files.ListFiles(installed))
      if (!files.Exists(folder + name)) files.CopyFile(installed + name, folder + name, 0644);
  }
  return folder;
}

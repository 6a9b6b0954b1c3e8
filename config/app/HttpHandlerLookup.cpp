#include "app/HttpHandlerLookup.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>

#include "core/FileAccess.h"

namespace {

// Runs a helper program (no shell) and returns its standard output; empty on any failure. The
// helpers are desktop scripts that answer at once; after `timeoutMs` the helper is killed.
std::string RunAndCapture(const std::vector<std::string>& argv, int timeoutMs) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  pid_t pid = fork();
  if (pid < 0) {
    close(out[0]);
    close(out[1]);
    return {};
  }
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      dup2(devnull, STDIN_FILENO);
      dup2(devnull, STDERR_FILENO);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  std::string result;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool killed = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      kill(pid, SIGKILL);
      killed = true;
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    char buf[1024];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (result.size() < 65536) result.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (killed || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return result;
}

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> DesktopDirs() {
  std::vector<std::string> dirs;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome && dataHome[0] == '/')
    dirs.push_back(dataHome);
  else if (home && home[0])
    dirs.push_back(std::string(home) + "/.local/share");
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::string list = dataDirs && dataDirs[0] ? dataDirs : "/usr/local/share:/usr/share";
  std::stringstream ss(list);
  std::string d;
  while (std::getline(ss, d, ':'))
    if (!d.empty() && d[0] == '/') dirs.push_back(d);
  return dirs;
}

}  // namespace

std::vector<std::string> SplitExecLine(const std::string& exec) {
  std::vector<std::string> args;
  std::string cur;
  bool inArg = false;
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size()) {
        cur += exec[++i];
      } else {
        cur += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t') {
      if (inArg) args.push_back(cur);
      cur.clear();
      inArg = false;
      continue;
    }
    inArg = true;
    if (c == '"') {
      quoted = true;
    } else if (c == '%' && i + 1 < exec.size()) {
      char code = exec[++i];
      if (code == '%') cur += '%';
      // Any other field code (%u, %U, %f, ...) stands for what the launcher fills in: dropped.
    } else {
      cur += c;
    }
  }
  if (inArg && !cur.empty()) args.push_back(cur);
  // An argument that was only a field code leaves nothing behind.
  std::vector<std::string> out;
  for (auto& a : args)
    if (!a.empty()) out.push_back(a);
  return out;
}

std::string DesktopEntryExec(const std::string& contents) {
  std::stringstream ss(contents);
  std::string line;
  bool inEntry = false;
  while (std::getline(ss, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    if (!inEntry) continue;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    if (Trim(line.substr(0, eq)) == "Exec") return Trim(line.substr(eq + 1));
  }
  return {};
}

HttpHandlerAnswer ResolveHttpHandler(const std::string& desktopEntry,
                                     const std::vector<std::string>& dataDirs, IFileAccess& files,
                                     const std::string& xdgOpen) {
  HttpHandlerAnswer answer;
  // Only a plain file name is accepted: the answer names a .desktop file, never a path.
  if (desktopEntry.empty() || desktopEntry.find('/') != std::string::npos) {
    if (xdgOpen.empty()) {
      answer.associationError = ENOENT;
      return answer;
    }
    // Quoted as an Exec value, so a path with blanks stays one argument.
    std::string quoted = "\"";
    for (char c : xdgOpen) {
      if (c == '"' || c == '\\' || c == '`' || c == '$') quoted += '\\';
      quoted += c;
    }
    answer.command = quoted + "\" %u";
    return answer;
  }
  for (const auto& dir : dataDirs) {
    std::string contents;
    if (files.ReadFile(dir + "/applications/" + desktopEntry, contents, 1 << 20) != 0) continue;
    answer.command = DesktopEntryExec(contents);
    answer.valueError = answer.command.empty() ? ENODATA : 0;
    return answer;
  }
  answer.valueError = ENOENT;
  return answer;
}

std::string FindProgram(const std::string& name, const std::string& searchPath) {
  std::stringstream folders(searchPath);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty() || folder[0] != '/') continue;  // the working folder is never searched
    const std::string candidate = folder + "/" + name;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

HttpHandlerAnswer XdgHttpHandlerLookup::Query() {
  std::string desktop = Trim(RunAndCapture({"xdg-settings", "get", "default-web-browser"}, 3000));
  if (desktop.empty())
    desktop = Trim(RunAndCapture({"xdg-mime", "query", "default", "x-scheme-handler/http"}, 3000));
  const char* path = std::getenv("PATH");
  return ResolveHttpHandler(desktop, DesktopDirs(), RealFileAccess(),
                            FindProgram("xdg-open", path ? path : "/usr/local/bin:/usr/bin:/bin"));
}

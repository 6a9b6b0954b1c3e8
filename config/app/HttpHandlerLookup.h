// Finding the desktop's web browser: the handler of x-scheme-handler/http (xdg-settings, else
// xdg-mime) and the Exec line of its .desktop file. Where no handler is registered but xdg-open
// is installed, xdg-open is the association: it finds the browser when a page is opened. Behind
// an interface so tests inject answers.
#pragma once

#include <string>
#include <vector>

class IFileAccess;

struct HttpHandlerAnswer {
  // 0: an association was found; else an errno value (no handler registered, xdg tools missing).
  int associationError = 0;
  // 0: the handler's command was read; else an errno value (no .desktop file, no Exec line).
  int valueError = 0;
  // The .desktop file's Exec value, unexpanded (e.g. "/usr/bin/firefox %u").
  std::string command;
};

class IHttpHandlerLookup {
 public:
  virtual ~IHttpHandlerLookup() = default;
  virtual HttpHandlerAnswer Query() = 0;
};

class XdgHttpHandlerLookup : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override;
};

// Splits a desktop entry's Exec value into arguments (double quotes, backslash escapes inside
// them), drops the field codes (%u, %U, %f, %F, %i, %c, %k, ...) and turns "%%" into "%".
std::vector<std::string> SplitExecLine(const std::string& exec);

// The answer for a handler named by the desktop (a .desktop file name, "" when none is registered),
// looked up in the data folders' applications/ subfolders; `xdgOpen` is xdg-open's path ("" when
// it is not installed).
HttpHandlerAnswer ResolveHttpHandler(const std::string& desktopEntry,
                                     const std::vector<std::string>& dataDirs, IFileAccess& files,
                                     const std::string& xdgOpen);

// The first executable file called `name` in the folders of a PATH value ("" when there is none).
std::string FindProgram(const std::string& name, const std::string& searchPath);

// Finds the Exec value of the [Desktop Entry] group in a .desktop file's contents ("" if none).
std::string DesktopEntryExec(const std::string& contents);

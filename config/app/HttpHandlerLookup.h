// Finding the desktop's web browser: the handler of x-scheme-handler/http (xdg-settings, else
// xdg-mime) and the Exec line of its .desktop file. Behind an interface so tests inject answers.
#pragma once

#include <string>
#include <vector>

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

// Finds the Exec value of the [Desktop Entry] group in a .desktop file's contents ("" if none).
std::string DesktopEntryExec(const std::string& contents);

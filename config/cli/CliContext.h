// The command line's shared context: the scripted UI port, the form once it exists, the output
// streams and the command's outcome. Subcommands of every area register through a CliRegistrar:
// they add their options to the CLI11 app and, when chosen, set the action to run on the form.
#pragma once

#include <signal.h>

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/QeltaConfigView.h"
#include "fleet/FleetSettings.h"
#include "ui/ScriptedUi.h"

namespace CLI {
class App;
}

struct CliContext {
  CliContext(std::ostream& o, std::ostream& e) : out(o), err(e) {}

  std::ostream& out;
  std::ostream& err;
  qelta::ScriptedUi ui;
  std::unique_ptr<CQeltaConfigView> form;  // created after the options are parsed

  // The chosen subcommand's work on the initialised form; returns false when an error stopped it
  // (it has told why through Fail).
  std::function<bool(CliContext&)> action;

  // Reports an error that stops the command (exit code 1).
  bool Fail(const std::string& text);

  bool failureRowAdded = false;
  bool commandFailed = false;
  // Set by a command that reaches no base station (a dry run): discovery is not started.
  bool withoutDiscovery = false;
};

// A file named on the command line, taken from the folder the command was started in: the form
// makes the program's folder the working folder before a command runs.
inline std::string PathFromStartFolder(const std::string& path) {
  if (path.empty()) return path;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.string();
}

using CliRegistrar = std::function<void(CLI::App& app, CliContext& ctx)>;

// The progress of multi-station runs on stderr, and SIGINT as their Cancel while one runs.
class CliFleetMonitor final : public qelta::fleet::FleetMonitor {
 public:
  CliFleetMonitor(std::ostream& err, bool terminal);
  ~CliFleetMonitor() override;
  CliFleetMonitor(const CliFleetMonitor&) = delete;
  CliFleetMonitor& operator=(const CliFleetMonitor&) = delete;
  void RunStarted(const qelta::fleet::FleetProgress& p) override;
  void Progress(const qelta::fleet::FleetProgress& p) override;
  void RunEnded(const qelta::fleet::FleetProgress& p) override;
  bool CancelRequested() override;

 private:
  void RestoreInterrupt();
  std::ostream& err_;
  bool terminal_;
  bool drawn_ = false;
  bool installed_ = false;
  struct sigaction previous_ {};
  int lastPercent_ = -1;
  std::size_t lastDone_ = 0;
  int lastPhase_ = 0;
};

// The global option --jobs N (0 when not given).
void AddFleetOptions(CLI::App& app, int& jobs);

// The shell's subcommands: settings, com-port, com-device, about.
void RegisterShellSubcommands(CLI::App& app, CliContext& ctx);

// Stations chosen on the command line by address (or all of them), shared by the base station
// subcommands.
struct StationChoice {
  int waitMs = 2000;
  std::vector<std::string> addresses;
  bool all = false;
};
// Waits until discovery has finished a cycle (at most waitMs) and shows the table in the list.
bool ShowStations(CliContext& c, int waitMs);
// Selects the rows of the chosen stations; false (with the reason) when one is not in the list.
bool SelectStations(CliContext& c, const StationChoice& choice);
// The module subcommands (defaults, reboot, IP settings, recovery, description), registered with
// the other base station subcommands.
void RegisterWebSubcommands(CLI::App& app, CliContext& ctx);

// Every area's registrars (config/cli/CliCommands.cpp: each area adds its line there).
std::vector<CliRegistrar> AllCliRegistrars();

// Runs the command line: parses, creates and initialises the form through the scripted port,
// runs the chosen command and returns the exit code: 0 success, 1 when a failure row (image 0)
// was added or an error stopped the command, CLI11's code for a usage error.
// `env` lets tests keep the settings and the working folder in a temporary place.
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::vector<CliRegistrar>& registrars, FormEnvironment env = {});

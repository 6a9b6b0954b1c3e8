// The command line's shared context: the scripted UI port, the form once it exists, the printer of
// the output list and the command's outcome. Subcommands of every area register through a
// CliRegistrar: they add their options to the CLI11 app and, when chosen, set the action to run
// on the form.
#pragma once

#include <signal.h>

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/QeltaConfigView.h"
#include "cli/RowOutput.h"
#include "fleet/FleetSettings.h"
#include "ui/ScriptedUi.h"

namespace CLI {
class App;
class Validator;
}  // namespace CLI

// The exit statuses of qeltaconfig-cli.
namespace cli_exit {
inline constexpr int kDone = 0;      // done, no failure and no warning row
inline constexpr int kFailed = 1;    // a failure row, or an error stopped the command
inline constexpr int kUsage = 2;     // the command line itself was wrong; nothing was done
inline constexpr int kWarnings = 3;  // done, with warning rows only
inline constexpr int kDiffers = 4;   // diff: the device differs from the file
}  // namespace cli_exit

class CliFleetMonitor;

struct CliContext {
  CliContext(std::ostream& o, std::ostream& e) : out(o), err(e) {}

  std::ostream& out;  // written through `printer` only
  std::ostream& err;
  qelta::ScriptedUi ui;
  std::unique_ptr<CQeltaConfigView> form;  // created after the options are parsed
  std::unique_ptr<qelta::cli::RowPrinter> printer;
  qelta::cli::OutputFormat format = qelta::cli::OutputFormat::Rows;
  // What the command prints after its rows, once they are all final (e.g. check's memory writes).
  std::function<void(CliContext&)> afterRows;
  // The monitor of the form's multi-station runs while the command runs and prints.
  const CliFleetMonitor* fleetMonitor = nullptr;

  // The chosen subcommand's work on the initialised form; returns false when an error stopped it
  // (it has told why through Fail or UsageError).
  std::function<bool(CliContext&)> action;

  // A value the command reports ("ComPort=4"); `separator` between name and value, an empty
  // separator shows the value alone (json names it all the same).
  void Result(const std::string& name, const std::string& value,
              const std::string& separator = "=");
  // Reports an error that stops the command (exit status 1).
  bool Fail(const std::string& text);
  // Reports a command line that cannot be right (exit status 2); nothing has been done.
  bool UsageError(const std::string& text);
  // Anything written to the terminal besides the printer's rows (stderr lines, a progress bar).
  void NoteForeignOutput() {
    if (printer) printer->ForeignOutput();
  }

  bool commandFailed = false;
  bool usageError = false;
  bool differs = false;  // a comparison found a device that differs from the file (exit 4)
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
  // `wrote` is told of every line the monitor writes, so that rows printed in place know.
  CliFleetMonitor(std::ostream& err, bool terminal, std::function<void()> wrote = {});
  ~CliFleetMonitor() override;
  CliFleetMonitor(const CliFleetMonitor&) = delete;
  CliFleetMonitor& operator=(const CliFleetMonitor&) = delete;
  void RunStarted(const qelta::fleet::FleetProgress& p) override;
  void Progress(const qelta::fleet::FleetProgress& p) override;
  void RunEnded(const qelta::fleet::FleetProgress& p) override;
  void StationsEnded(const std::vector<qelta::fleet::StationOutcome>& outcomes) override;
  // Every station of the command's runs once, in the order first worked on: ok when it was ok in
  // every run, changed when any run changed it.
  const std::vector<qelta::fleet::StationOutcome>& Outcomes() const { return outcomes_; }
  bool CancelRequested() override;

 private:
  void RestoreInterrupt();
  std::ostream& err_;
  bool terminal_;
  std::function<void()> wrote_;
  bool drawn_ = false;
  bool installed_ = false;
  struct sigaction previous_ {};
  int lastPercent_ = -1;
  std::size_t lastDone_ = 0;
  int lastPhase_ = 0;
  std::vector<qelta::fleet::StationOutcome> outcomes_;
};

// {"station_result":{"station":"127.0.0.2","ok":false,"changed":true}} for each station the
// command's runs worked on (in the json format; nothing otherwise), after the rows.
void PrintStationResultsAfterRows(CliContext& c);

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
// What every command on stations says when there is none to work on.
inline constexpr const char* kNoStationFound = "no base station found";
// Starts discovery (the command line runs it only for commands on base stations), waits until it
// has finished a cycle (at most waitMs) and shows the table in the list.
bool ShowStations(CliContext& c, int waitMs);
// The chosen stations in the list: with --all every station found, as ShowStations shows them;
// stations named by address are waited for only until each has answered discovery (at most
// waitMs), and only they are listed and probed.
bool ShowChosenStations(CliContext& c, const StationChoice& choice);
// Selects the rows of the chosen stations; false (with the reason) when one is not in the list,
// or when --all finds none ("no base station found"). With `unlisted` given, the addresses that
// are not in the list are put there instead of failing.
bool SelectStations(CliContext& c, const StationChoice& choice,
                    std::vector<std::string>* unlisted = nullptr);
// The check of a station's address on the command line: dotted IPv4 ("127.0.0.2"); anything
// else is a usage error.
CLI::Validator StationAddress();
// Shows the stations and selects those named (a usage error when none is named and --all is not
// given); a single chosen station also becomes the selected base station, as a click on its row
// makes it.
bool ChooseStations(CliContext& c, const StationChoice& choice);
// Runs one of the form's commands; a failure when the form has none of that number.
bool RunFormCommand(CliContext& c, int command);
// The module subcommands (defaults, reboot, IP settings, recovery, description, view), registered
// right after the other base station subcommands.
void RegisterWebSubcommands(CLI::App& app, CliContext& ctx);

// Every area's registrars (config/cli/CliCommands.cpp: each area adds its line there).
std::vector<CliRegistrar> AllCliRegistrars();

// Runs the command line: parses, creates and initialises the form through the scripted port,
// runs the chosen command and returns its exit status (cli_exit). Global options are accepted
// before and after the subcommand. `env` lets tests keep the settings and the working folder in
// a temporary place; `terminal` describes standard output (the program passes StdoutTerminal()).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::vector<CliRegistrar>& registrars, FormEnvironment env = {},
           const qelta::cli::TerminalInfo& terminal = {});

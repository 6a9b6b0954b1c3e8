#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>

#include "cli/CliContext.h"
#include "cli/RowFollower.h"
#include "core/ControlCharacters.h"

namespace {

using qelta::cli::OutputFormat;

constexpr const char* kFooter =
    R"(Options of the program (--yes, --answer, --dialog, --cancel-dialog, --file,
--settings, --config-file, --output) may stand before or after the subcommand.

Output (--output):
  text  for people, the default on a terminal: a mark per row (done, failed, warning,
        information, step) and aligned columns; changed rows are redrawn in place.
  rows  the default elsewhere: "+INDEX<TAB>IMAGE<TAB>NAME<TAB>VALUE<TAB>MORE" for each row
        added, "~INDEX..." for each change, as they come.
  json  JSON Lines: {"index","kind","image","name","value","more","time"} for each row once
        it is final; the values a command reports as {"result","value"}.
Control characters in texts are shown as \xHH (\u00XX in json). Messages and errors go to
standard error.

Exit status:
  0  done, without failure or warning rows
  1  a failure row, or an error stopped the command
  2  usage error: the command line was not understood, nothing was done
  3  done, with warning rows only (values replaced by their defaults, texts cut)
  4  diff only: the device differs from the file (0: in sync))";

const char* IconName(qelta::MessageIcon icon) {
  switch (icon) {
    case qelta::MessageIcon::Error:
      return "error";
    case qelta::MessageIcon::Warning:
      return "warning";
    case qelta::MessageIcon::Information:
      return "information";
    case qelta::MessageIcon::Question:
      return "question";
    default:
      return "message";
  }
}

// "Dialog.field=value" into the per-dialog answer.
bool ParseDialogValue(const std::string& assignment, std::string& dialog, std::string& field,
                      std::string& value) {
  std::size_t dot = assignment.find('.');
  std::size_t eq = assignment.find('=');
  if (dot == std::string::npos || eq == std::string::npos || dot == 0 || eq < dot + 2) return false;
  dialog = assignment.substr(0, dot);
  field = assignment.substr(dot + 1, eq - dot - 1);
  value = assignment.substr(eq + 1);
  return true;
}

// The options of the program itself. Every subcommand lets unknown options fall through to the
// program, so they parse before and after the subcommand alike; a repeatable option takes one
// value per use, so that it never swallows the subcommand's own arguments.
struct GlobalOptions {
  bool yes = false;
  std::vector<std::string> dialogValues;
  std::vector<std::string> cancelDialogs;
  std::vector<std::string> files;
  std::string settingsFile;
  std::string configFile;
  std::vector<std::string> messageAnswers;
  std::string output;
  int jobs = 0;

  void Register(CLI::App& app) {
    app.fallthrough();
    app.add_flag("--yes", yes, "Answer every question with OK (default: Cancel)");
    app.add_option("--dialog", dialogValues,
                   "A dialog value, Dialog.field=value (e.g. CBSChannelDlg.channel=3); the "
                   "dialog is then confirmed with OK")
        ->allow_extra_args(false);
    app.add_option("--cancel-dialog", cancelDialogs, "Cancel this dialog (by its name)")
        ->allow_extra_args(false);
    app.add_option("--file", files, "The answer of the next file dialog (a path)")
        ->allow_extra_args(false);
    app.add_option("--settings", settingsFile, "Settings file (default: the user's own)");
    app.add_option("--config-file", configFile,
                   "Open this configuration file (.pcg) before the command, as the File menu does");
    app.add_option("--answer", messageAnswers,
                   "Answers for the next questions in order, ok or cancel (then --yes or Cancel)")
        ->allow_extra_args(false)
        ->check(CLI::IsMember({"ok", "cancel"}));
    app.add_option("--output", output,
                   "Output format: text (default on a terminal), rows (default otherwise), json")
        ->check(CLI::IsMember({"text", "rows", "json"}));
    AddFleetOptions(app, jobs);
  }
};

// Answers the scripted port will give, from the global options. False (usage error told) when
// one is malformed.
bool QueueAnswers(CliContext& ctx, GlobalOptions& o) {
  if (o.yes) ctx.ui.SetDefaultMessageAnswer(qelta::MessageAnswer::Ok);
  for (const auto& a : o.messageAnswers)
    ctx.ui.QueueMessageAnswer(a == "ok" ? qelta::MessageAnswer::Ok : qelta::MessageAnswer::Cancel);
  std::map<std::string, qelta::ScriptedUi::DialogAnswer> answers;
  for (const auto& assignment : o.dialogValues) {
    std::string dialog, field, value;
    if (!ParseDialogValue(assignment, dialog, field, value))
      return ctx.UsageError("--dialog wants Dialog.field=value, not \"" + assignment + "\"");
    answers[dialog].values[field] = value;
  }
  for (auto& [dialog, answer] : answers) ctx.ui.QueueDialogAnswer(dialog, answer);
  for (const auto& dialog : o.cancelDialogs) {
    qelta::ScriptedUi::DialogAnswer cancel;
    cancel.accept = false;
    ctx.ui.QueueDialogAnswer(dialog, cancel);
  }
  // A dialog named nowhere is accepted as filled in (e.g. the about box).
  for (const auto& path : o.files) ctx.ui.QueueFileDialogResult(PathFromStartFolder(path));
  return true;
}

// What a run of the command left behind besides its rows: error boxes shown while it ran, and
// dialogs whose values the program refused (the command then did nothing).
struct CommandTrace {
  int errorMessages = 0;
  std::size_t firstDialog = 0;

  bool Report(CliContext& ctx) const {
    bool clean = true;
    const auto& dialogs = ctx.ui.Dialogs();
    for (std::size_t i = firstDialog; i < dialogs.size(); ++i) {
      if (dialogs[i].accepted || dialogs[i].errors.empty()) continue;
      clean = ctx.Fail("the values for " + dialogs[i].name +
                       " were refused, nothing was done: " + dialogs[i].errors.back());
    }
    if (errorMessages > 0) {
      ctx.commandFailed = true;
      clean = false;
    }
    return clean;
  }
};

}  // namespace

void CliContext::Result(const std::string& name, const std::string& value,
                        const std::string& separator) {
  if (printer) printer->Result(name, value, separator);
}

bool CliContext::Fail(const std::string& text) {
  NoteForeignOutput();
  err << "error: " << qelta::EscapeControlCharacters(text, qelta::LineBreaks::Keep) << '\n';
  commandFailed = true;
  return false;
}

bool CliContext::UsageError(const std::string& text) {
  NoteForeignOutput();
  err << "usage error: " << qelta::EscapeControlCharacters(text, qelta::LineBreaks::Keep) << '\n';
  usageError = true;
  return false;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::vector<CliRegistrar>& registrars, FormEnvironment env,
           const qelta::cli::TerminalInfo& terminal) {
  CliContext ctx(out, err);
  CLI::App app{"QeltaConfig on the command line: runs one command of the configurator."};
  app.require_subcommand(1, 1);
  app.footer(kFooter);
  GlobalOptions options;
  options.Register(app);
  for (const auto& registrar : registrars) registrar(app, ctx);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, out, err);
    return code == 0 ? cli_exit::kDone : cli_exit::kUsage;
  }
  if (!ctx.action) return ctx.UsageError("no command given"), cli_exit::kUsage;

  OutputFormat format = terminal.isTerminal ? OutputFormat::Text : OutputFormat::Rows;
  if (!options.output.empty()) qelta::cli::ParseOutputFormat(options.output, format);
  ctx.printer = qelta::cli::MakeRowPrinter(format, out, err, terminal);
  ctx.format = format;

  if (!QueueAnswers(ctx, options)) return cli_exit::kUsage;
  const std::string configFile = PathFromStartFolder(options.configFile);
  const std::string settingsFile = PathFromStartFolder(options.settingsFile);

  CommandTrace trace;
  bool running = false;
  ctx.ui.SetProcessLauncher([&ctx](const qelta::ProcessRequest& request) {
    std::string command;
    for (const auto& a : request.argv) command += (command.empty() ? "" : " ") + a;
    ctx.Result("start", command, ": ");
    return qelta::SpawnDetached(request);
  });
  ctx.ui.SetMessageObserver([&ctx, &trace, &running](const qelta::ScriptedUi::MessageRecord& m) {
    ctx.NoteForeignOutput();
    ctx.err << IconName(m.icon) << " [" << qelta::EscapeControlCharacters(m.caption) << "] "
            << qelta::EscapeControlCharacters(m.text, qelta::LineBreaks::Keep);
    if (m.buttons == qelta::MessageButtons::OkCancel)
      ctx.err << " -> " << (m.answer == qelta::MessageAnswer::Ok ? "OK" : "Cancel");
    ctx.err << '\n';
    // An error box stops (part of) a command: it is an error of the run. Questions are not.
    if (running && m.icon == qelta::MessageIcon::Error && m.buttons == qelta::MessageButtons::Ok)
      ++trace.errorMessages;
  });

  if (!settingsFile.empty()) env.settingsFile = settingsFile;
  // The command line never opens a web page, and only commands on base stations start discovery.
  env.lookUpBrowser = false;
  env.discoveryAtConstruction = false;
  ctx.form = CreateMainForm(ctx.ui, std::move(env));
  CliFleetMonitor fleetMonitor(err, &err == &std::cerr && isatty(STDERR_FILENO) == 1,
                               [&ctx] { ctx.NoteForeignOutput(); });
  qelta::fleet::SetMonitor(ctx.form->fleet, &fleetMonitor);
  ctx.fleetMonitor = &fleetMonitor;
  qelta::fleet::SetJobsOverride(ctx.form->fleet, options.jobs);
  qelta::cli::RowFollower follower(ctx.form->outputList(), *ctx.printer);
  // An error box from the start on is an error of the run: a start-up that could not read or
  // create the settings leaves every command working on defaults it did not ask for.
  running = true;
  ctx.form->InitialiseForm();
  ctx.ui.RunPostedTasks();

  bool ok = true;
  trace.firstDialog = ctx.ui.Dialogs().size();
  if (!configFile.empty()) {
    ctx.ui.QueueFileDialogResult(configFile);
    ctx.form->RunCommand(ids::kCmdOpenConfigFile);
    if (ctx.form->configFilePath != configFile)
      ok = ctx.Fail("could not open the configuration file " + configFile);
  }
  if (ok) ok = ctx.action(ctx);
  // Work the command left for the form's timer or handed over from other threads.
  ctx.ui.RunPostedTasks();
  ctx.ui.FireTimers();
  ctx.ui.RunPostedTasks();
  running = false;
  ok = trace.Report(ctx) && ok;
  follower.Finish();
  if (ctx.afterRows) ctx.afterRows(ctx);
  ctx.form.reset();
  ctx.fleetMonitor = nullptr;

  if (ctx.usageError) return cli_exit::kUsage;
  if (!ok || ctx.commandFailed || follower.Failures() > 0) return cli_exit::kFailed;
  if (ctx.differs) return cli_exit::kDiffers;
  if (follower.Warnings() > 0) return cli_exit::kWarnings;
  return cli_exit::kDone;
}

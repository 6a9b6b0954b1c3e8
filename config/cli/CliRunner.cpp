#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>

#include "app/SessionLog.h"
#include "cli/CliContext.h"

namespace {

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

void PrintRow(std::ostream& out, int index, const OutputRow& row, bool changed) {
  // One row a line, as in the session log: a configuration line's own line end stays out of it.
  out << (changed ? "~" : "+") << index << '\t' << row.image << '\t'
      << SessionLog::OneLine(row.text[0]) << '\t' << SessionLog::OneLine(row.text[1]) << '\t'
      << SessionLog::OneLine(row.text[2]) << '\n';
  out.flush();
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

}  // namespace

bool CliContext::Fail(const std::string& text) {
  err << "error: " << text << '\n';
  commandFailed = true;
  return false;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
           const std::vector<CliRegistrar>& registrars, FormEnvironment env) {
  CliContext ctx(out, err);
  CLI::App app{"QeltaConfig on the command line: runs one command of the configurator."};
  app.require_subcommand(1, 1);

  bool yes = false;
  std::vector<std::string> dialogValues;
  std::vector<std::string> cancelDialogs;
  std::vector<std::string> files;
  std::string settingsFile;
  std::string configFile;
  std::vector<std::string> messageAnswers;
  app.add_flag("--yes", yes, "Answer every question with OK (default: Cancel)");
  app.add_option("--dialog", dialogValues,
                 "A dialog value, Dialog.field=value (e.g. CBSChannelDlg.channel=3); the dialog "
                 "is then confirmed with OK");
  app.add_option("--cancel-dialog", cancelDialogs, "Cancel this dialog (by its name)");
  app.add_option("--file", files, "The answer of the next file dialog (a path)");
  app.add_option("--settings", settingsFile, "Settings file (default: the user's own)");
  app.add_option("--config-file", configFile,
                 "Open this configuration file (.pcg) before the command, as the File menu does");
  app.add_option("--answer", messageAnswers,
                 "Answers for the next questions in order, ok or cancel (then --yes or Cancel)")
      ->check(CLI::IsMember({"ok", "cancel"}));

  int jobs = 0;
  AddFleetOptions(app, jobs);
  // Global options may follow the subcommand too.
  app.fallthrough();

  for (const auto& registrar : registrars) registrar(app, ctx);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err);
  }
  if (!ctx.action) return ctx.Fail("no command given"), 1;
  configFile = PathFromStartFolder(configFile);
  settingsFile = PathFromStartFolder(settingsFile);
  for (std::string& file : files) file = PathFromStartFolder(file);

  if (yes) ctx.ui.SetDefaultMessageAnswer(qelta::MessageAnswer::Ok);
  for (const auto& a : messageAnswers)
    ctx.ui.QueueMessageAnswer(a == "ok" ? qelta::MessageAnswer::Ok : qelta::MessageAnswer::Cancel);
  std::map<std::string, qelta::ScriptedUi::DialogAnswer> answers;
  for (const auto& assignment : dialogValues) {
    std::string dialog, field, value;
    if (!ParseDialogValue(assignment, dialog, field, value))
      return ctx.Fail("--dialog wants Dialog.field=value, not \"" + assignment + "\""), 1;
    answers[dialog].values[field] = value;
  }
  for (auto& [dialog, answer] : answers) ctx.ui.QueueDialogAnswer(dialog, answer);
  for (const auto& dialog : cancelDialogs) {
    qelta::ScriptedUi::DialogAnswer cancel;
    cancel.accept = false;
    ctx.ui.QueueDialogAnswer(dialog, cancel);
  }
  // A dialog named nowhere is accepted as filled in (e.g. the about box).
  for (const auto& path : files) ctx.ui.QueueFileDialogResult(path);
  ctx.ui.SetProcessLauncher([&out](const qelta::ProcessRequest& request) {
    out << "start:";
    for (const auto& a : request.argv) out << ' ' << a;
    out << '\n';
    return qelta::SpawnDetached(request);
  });
  ctx.ui.SetMessageObserver([&err](const qelta::ScriptedUi::MessageRecord& m) {
    err << IconName(m.icon) << " [" << m.caption << "] " << m.text;
    if (m.buttons == qelta::MessageButtons::OkCancel)
      err << " -> " << (m.answer == qelta::MessageAnswer::Ok ? "OK" : "Cancel");
    err << '\n';
  });

  if (!settingsFile.empty()) env.settingsFile = settingsFile;
  if (ctx.withoutDiscovery) env.discoveryAtConstruction = false;
  ctx.form = CreateMainForm(ctx.ui, std::move(env));
  CliFleetMonitor fleetMonitor(err, &err == &std::cerr && isatty(STDERR_FILENO) == 1);
  qelta::fleet::SetMonitor(*ctx.form, &fleetMonitor);
  qelta::fleet::SetJobsOverride(*ctx.form, jobs);
  ctx.form->outputList().AddListener([&ctx](const OutputList& list, const OutputListChange& c) {
    if (!list.ValidRow(c.row)) return;
    const OutputRow& row = list.Row(c.row);
    // Warnings count as failures until the exit status tells them apart.
    if (row.kind == qelta::RowKind::Failure || row.kind == qelta::RowKind::Warning)
      ctx.failureRowAdded = true;
    if (c.kind == OutputListChange::RowAdded) {
      PrintRow(ctx.out, c.row, row, false);
    } else if (c.kind == OutputListChange::TextChanged ||
               c.kind == OutputListChange::ImageChanged) {
      PrintRow(ctx.out, c.row, row, true);
    }
  });
  ctx.form->InitialiseForm();
  ctx.ui.RunPostedTasks();
  if (!configFile.empty()) {
    ctx.ui.QueueFileDialogResult(configFile);
    ctx.form->RunCommand(ids::kCmdOpenConfigFile);
    if (ctx.form->configFilePath != configFile)
      return ctx.Fail("could not open the configuration file " + configFile), 1;
  }
  bool ok = ctx.action(ctx);
  // Work the command left for the form's timer or handed over from other threads.
  ctx.ui.RunPostedTasks();
  ctx.ui.FireTimers();
  ctx.ui.RunPostedTasks();
  ctx.form.reset();
  return (!ok || ctx.commandFailed || ctx.failureRowAdded) ? 1 : 0;
}

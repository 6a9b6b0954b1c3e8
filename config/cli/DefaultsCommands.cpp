// The default-upload subcommands of the command line, on stations chosen by address: all the
// defaults (module settings, a default EEPROM file, the radio type) or only a configuration file.
// The file is named here; it takes the place of the file dialog.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <string>

#include "app/DefaultUpload.h"
#include "cli/CheckedWriteOutput.h"
#include "cli/CliContext.h"

namespace {

using qelta::ScriptedUi;

struct DefaultsChoice {
  StationChoice stations;
  std::string file;
  int radioType = 0;  // 0: keep the radio type buttons as they are
  qelta::cli::CheckedWriteOptions checked;
};

void AddOptions(CLI::App* cmd, DefaultsChoice& choice, const char* fileHelp) {
  cmd->add_option("file", choice.file, fileHelp)->required();
  cmd->add_option("address", choice.stations.addresses, "Dotted addresses of the stations")
      ->check(StationAddress());
  cmd->add_flag("--all", choice.stations.all, "Every station found");
  cmd->add_option("--wait", choice.stations.waitMs, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
}

}  // namespace

void RegisterDefaultsSubcommands(CLI::App& app, CliContext& ctx) {
  auto all = std::make_shared<DefaultsChoice>();
  CLI::App* cmd = app.add_subcommand(
      "bs-defaults",
      "Upload all defaults to these stations: module settings, the default EEPROM file, the "
      "radio type");
  AddOptions(cmd, *all, "Default EEPROM file (.pcg)");
  cmd->add_option("--radio-type", all->radioType, "Radio type 1 to 3 (production mode)")
      ->check(CLI::Range(1, 3));
  cmd->callback([&ctx, all] {
    DefaultsChoice choice = *all;
    choice.file = PathFromStartFolder(choice.file);
    ctx.action = [choice](CliContext& c) {
      if (!c.form->uiService && !c.form->uiProduction)
        return c.Fail(
            "all defaults are uploaded in service or production mode only "
            "(settings UIService or UIProduction)");
      if (choice.radioType != 0) {
        if (!c.form->uiProduction)
          return c.Fail("radio types are written in production mode only (setting UIProduction)");
        if (!RunFormCommand(c, ids::kRadioType1 + choice.radioType - 1)) return false;
      }
      // The dialog's Browse takes the file; OK accepts it.
      c.ui.QueueFileDialogResult(choice.file);
      ScriptedUi::DialogAnswer answer;
      answer.press = {"browse"};
      c.ui.QueueDialogAnswer("CDefaultUploadDlg", answer);
      return ChooseStations(c, choice.stations) && RunFormCommand(c, ids::kCmdUploadAllDefaults);
    };
  });

  auto set = std::make_shared<DefaultsChoice>();
  cmd = app.add_subcommand("bs-set-config", "Write a configuration file to these stations");
  AddOptions(cmd, *set, "Configuration file (.pcg)");
  qelta::cli::AddCheckedWriteOptions(cmd, set->checked);
  cmd->callback([&ctx, set] {
    DefaultsChoice choice = *set;
    choice.file = PathFromStartFolder(choice.file);
    ctx.action = [choice](CliContext& c) {
      qelta::cli::ApplyCheckedWriteOptions(c, choice.checked);
      c.ui.QueueFileDialogResult(choice.file);
      return ChooseStations(c, choice.stations) && RunFormCommand(c, ids::kCmdSetConfigFile);
    };
  });
}

// `check`: the configuration upload against a device model, with no device and no network. It
// prints the upload's rows as every command does, then the memory writes the upload would make.
#include <CLI/CLI.hpp>
#include <memory>

#include "app/ParamsCommands.h"
#include "cli/CliContext.h"
#include "cli/WriteTable.h"
#include "params/ConfigCheck.h"

namespace {

struct CheckOptions {
  std::string file;
  int type = qelta::kCheckTypeTerminal;
};

// The writes follow the rows, in the run's output format.
void PrintWrites(CliContext& c, std::vector<qelta::RecordedWrite> writes) {
  c.afterRows = [writes = std::move(writes)](CliContext& ctx) {
    using qelta::cli::OutputFormat;
    if (ctx.format == OutputFormat::Text) {
      ctx.out << qelta::cli::WriteTableText(writes);
    } else {
      for (const qelta::RecordedWrite& write : writes)
        ctx.out << (ctx.format == OutputFormat::Json ? qelta::cli::WriteJsonLine(write)
                                                     : qelta::cli::WriteRowsLine(write));
    }
    ctx.out.flush();
  };
}

}  // namespace

void RegisterCheckSubcommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<CheckOptions>();
  CLI::App* check = app.add_subcommand(
      "check",
      "Check a configuration file (.pcg) without a device: the rows an upload would post and "
      "the memory writes it would make");
  check->add_option("file", options->file, "The configuration file")->required();
  check
      ->add_option("--type", options->type,
                   "Device type: 8 hand terminal (default), 9 base station")
      ->check(CLI::IsMember({"8", "9"}));
  check->callback([&ctx, options] {
    const std::string path = PathFromStartFolder(options->file);
    const auto type = static_cast<int16_t>(options->type);
    ctx.action = [path, type](CliContext& c) {
      std::vector<qelta::RecordedWrite> writes;
      qelta::RunOnTerminal(*c.form, c.form->selectedBaseStation, [&](qelta::TerminalView& t) {
        writes = qelta::CheckConfiguration(t, path, type);
      });
      PrintWrites(c, std::move(writes));
      return true;
    };
  });
}

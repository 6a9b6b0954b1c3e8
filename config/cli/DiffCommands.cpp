// `diff`: a configuration file against what the device on the serial port, or the chosen base
// stations, hold at the addresses the file writes. One row per line of the file; nothing is
// written. Exit status 0 in sync, 4 differs, 1 a device could not be read.
#include <CLI/CLI.hpp>
#include <memory>

#include "app/ParamsCommands.h"
#include "app/StationCompare.h"
#include "cli/CheckedWriteOutput.h"
#include "cli/CliContext.h"

namespace {

struct DiffOptions {
  std::string file;
  int type = 0;
  StationChoice stations;
  bool OnStations() const { return stations.all || !stations.addresses.empty(); }
};

}  // namespace

void RegisterDiffSubcommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<DiffOptions>();
  CLI::App* diff = app.add_subcommand(
      "diff",
      "Compare the device on the COM port (or base stations) with a configuration file: one row "
      "per line, in sync or differing with both values; exit 4 when it differs");
  diff->add_option("file", options->file, "The configuration file")->required();
  diff->add_option("--type", options->type,
                   "Device type the file is for: 8 hand terminal, 9 base station (default: the "
                   "device's own)")
      ->check(CLI::IsMember({"8", "9"}));
  diff->add_option("--station", options->stations.addresses,
                   "Dotted address of a base station (repeatable)")
      ->check(StationAddress());
  diff->add_flag("--all", options->stations.all, "Every base station found");
  diff->add_option("--wait", options->stations.waitMs, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
  diff->callback([&ctx, options] {
    DiffOptions o = *options;
    o.file = PathFromStartFolder(o.file);
    ctx.action = [o](CliContext& c) {
      const auto type = static_cast<int16_t>(o.type);
      if (o.OnStations()) {
        if (!ChooseStations(c, o.stations)) return false;
        qelta::CompareStations(*c.form, o.file, type);
      } else {
        qelta::CompareFileWithDevice(*c.form, o.file, type);
      }
      return qelta::cli::FinishComparison(c);
    };
  });
}

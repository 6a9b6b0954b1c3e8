// bs-inventory: the inventory of the stations chosen by address (or all of them), one row per
// station, and with --csv the CSV file.
#include <CLI/CLI.hpp>
#include <memory>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/StationRuns.h"
#include "cli/CliContext.h"
#include "inventory/Inventory.h"

void RegisterInventorySubcommands(CLI::App& app, CliContext& ctx) {
  auto choice = std::make_shared<StationChoice>();
  auto csv = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "bs-inventory", "Identity, channel, comm ID and module settings of these stations");
  cmd->add_option("address", choice->addresses, "Dotted addresses of the stations");
  cmd->add_flag("--all", choice->all, "Every station found");
  cmd->add_option("--csv", *csv, "Write the inventory as CSV to this file");
  cmd->add_option("--wait", choice->waitMs, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
  cmd->callback([&ctx, choice, csv] {
    ctx.action = [stations = *choice, file = PathFromStartFolder(*csv)](CliContext& c) {
      if (stations.addresses.empty() && !stations.all)
        return c.UsageError("name stations or give --all");
      if (!ShowStations(c, stations.waitMs) || !SelectStations(c, stations)) return false;
      std::vector<BaseStationRecord> records(qelta::network::kMaxBaseStations);
      records.resize(qelta::network::CopySelectedBaseStations(*c.form, records.data()));
      if (records.empty()) return c.Fail("no base stations found");
      FormRunHost host(*c.form);
      return qelta::fleet::RunInventory(host, c.form->files(), records.data(), records.size(),
                                        file) ||
             c.Fail("the inventory file could not be written");
    };
  });
}

// The base station subcommands of the command line: list the stations discovery finds, and reset
// stations chosen by address. Each run starts discovery; with --all (and for the list) it lets
// discovery complete a cycle and shows every station found exactly as "View base stations" does,
// stations named by address are shown alone as soon as each has answered.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <memory>
#include <ostream>
#include <thread>

#include "app/BaseStationListOps.h"
#include "cli/CliContext.h"

using namespace qelta::network;

namespace {

// Commands that never reach a base station send nothing onto the network: discovery starts with
// the first command that needs it.
BaseStationDiscovery& RunningDiscovery(CQeltaConfigView& f) {
  BaseStationDiscovery& discovery = f.directory().Discovery();
  if (!discovery.Running() && f.hooks().startDiscovery) f.hooks().startDiscovery(f);
  return discovery;
}

}  // namespace

bool ShowStations(CliContext& c, int waitMs) {
  CQeltaConfigView& f = *c.form;
  BaseStationDiscovery& discovery = f.directory().Discovery();
  const uint64_t start = discovery.CycleCount();
  RunningDiscovery(f);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (discovery.CycleCount() == start && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  c.ui.RunPostedTasks();
  if (!f.RunCommand(ids::kCmdViewBaseStations)) return c.Fail("the list command is missing");
  return true;
}

bool ShowChosenStations(CliContext& c, const StationChoice& choice) {
  if (choice.all) return ShowStations(c, choice.waitMs);
  CQeltaConfigView& f = *c.form;
  std::vector<uint32_t> addresses;
  for (const std::string& text : choice.addresses) {
    uint32_t address = 0;
    if (!TextToAddress(text, address)) continue;  // the option's check has refused it already
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
      addresses.push_back(address);
  }
  const std::vector<BaseStationRecord> heard =
      RunningDiscovery(f).AwaitStations(addresses, std::chrono::milliseconds(choice.waitMs));
  c.ui.RunPostedTasks();
  if (!ViewNamedStations(f, heard)) return c.Fail("the list of base stations is busy");
  return true;
}

bool SelectStations(CliContext& c, const StationChoice& choice,
                    std::vector<std::string>* unlisted) {
  OutputList& list = c.form->outputList();
  for (int row = 0; row < list.RowCount(); ++row) list.SetSelected(row, false);
  if (choice.all) {
    c.form->RunCommand(ids::kCmdSelectAll);
    // Every station of none is no work done: the command has failed, whatever it is.
    if (list.SelectedCount() == 0) return c.Fail(kNoStationFound);
    return true;
  }
  for (const std::string& address : choice.addresses) {
    bool found = false;
    for (int row = 0; row < list.RowCount(); ++row) {
      const BaseStationRecord* r = list.Row(row).item;
      if (r && address == r->addressText) {
        list.SetSelected(row, true);
        list.SetSelectionMark(row);
        found = true;
      }
    }
    if (found) continue;
    if (!unlisted) return c.Fail("no base station at " + address);
    unlisted->push_back(address);
  }
  return true;
}

CLI::Validator StationAddress() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        uint32_t address = 0;
        if (TextToAddress(text, address)) return {};
        return "not a station's dotted address: " + text;
      },
      "ADDRESS");
}

bool ChooseStations(CliContext& c, const StationChoice& choice) {
  if (choice.addresses.empty() && !choice.all) return c.UsageError("name stations or give --all");
  if (!ShowChosenStations(c, choice) || !SelectStations(c, choice)) return false;
  c.form->OnListClick();
  return true;
}

bool RunFormCommand(CliContext& c, int command) {
  return c.form->RunCommand(command) || c.Fail("the command is missing");
}

void RegisterNetworkSubcommands(CLI::App& app, CliContext& ctx) {
  auto listWait = std::make_shared<int>(2000);
  CLI::App* list = app.add_subcommand("bs-list", "List the base stations found on the network");
  list->add_option("--wait", *listWait, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
  list->callback([&ctx, listWait] {
    const int waitMs = *listWait;
    ctx.action = [waitMs](CliContext& c) {
      if (!ShowStations(c, waitMs)) return false;
      c.Result("BaseStations", std::to_string(c.form->directory().Count(1000)));
      return true;
    };
  });

  auto reset = std::make_shared<StationChoice>();
  CLI::App* cmd = app.add_subcommand("bs-reset", "Reset the base stations at these addresses");
  cmd->add_option("address", reset->addresses, "Dotted addresses of the stations")
      ->check(StationAddress());
  cmd->add_flag("--all", reset->all, "Every station found");
  cmd->add_option("--wait", reset->waitMs, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
  cmd->callback([&ctx, reset] {
    const StationChoice choice = *reset;
    ctx.action = [choice](CliContext& c) {
      if (choice.addresses.empty() && !choice.all)
        return c.UsageError("name stations or give --all");
      if (!ShowChosenStations(c, choice)) return false;
      if (!SelectStations(c, choice)) return false;
      return c.form->RunCommand(ids::kCmdResetBaseStations) ||
             c.Fail("the reset command is missing");
    };
  });
}

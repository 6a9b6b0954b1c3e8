// The device subcommands of the command line: comm ID, channel and radio type, on the device on
// the serial port or, with --station (or --all), on base stations found on the network. They run
// the main form's own commands, so rows, questions and stored settings are those of the window.
#include <CLI/CLI.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>

#include "app/BaseStationListOps.h"
#include "app/CommIdAssignment.h"
#include "app/RadioChannel.h"
#include "cli/CliContext.h"

namespace {

using namespace qelta::network;

struct Targets {
  std::vector<std::string> stations;
  bool all = false;
  int waitMs = 2000;
  bool OnStations() const { return all || !stations.empty(); }
};

void AddTargetOptions(CLI::App* cmd, Targets& targets) {
  cmd->add_option("--station", targets.stations, "Dotted address of a base station (repeatable)")
      ->check(StationAddress());
  cmd->add_flag("--all", targets.all, "Every base station found");
  cmd->add_option("--wait", targets.waitMs, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
}

// Lets discovery finish a cycle, shows the stations in the list and selects the chosen ones as a
// user's clicks would.
bool ChooseTargets(CliContext& c, const Targets& targets) {
  const StationChoice choice{targets.waitMs, targets.stations, targets.all};
  if (!ShowChosenStations(c, choice) || !SelectStations(c, choice)) return false;
  if (c.form->outputList().SelectedCount() == 0) return c.Fail(kNoStationFound);
  c.form->OnListClick();
  return true;
}

qelta::ScriptedUi::DialogAnswer DialogValue(const std::string& field,
                                            std::optional<int64_t> value) {
  qelta::ScriptedUi::DialogAnswer answer;
  if (value) answer.values[field] = std::to_string(*value);
  return answer;
}

qelta::ScriptedUi::DialogAnswer CancelDialog() {
  qelta::ScriptedUi::DialogAnswer answer;
  answer.accept = false;
  return answer;
}

// {"radio_type":{"station":"127.0.0.2","radio_type":2}}: station null for the serial device,
// radio_type null when unread or of no known type.
std::string RadioTypeJsonLine(const qelta::RadioTypeReading& r) {
  return "{\"radio_type\":{\"station\":" +
         (r.station.empty() ? std::string("null") : qelta::cli::JsonString(r.station)) +
         ",\"radio_type\":" + (r.radioType ? std::to_string(r.radioType) : std::string("null")) +
         "}}\n";
}

bool ReadRadioTypes(CliContext& c, const Targets& targets) {
  std::vector<qelta::RadioTypeReading> readings;
  if (targets.OnStations()) {
    if (!ChooseTargets(c, targets)) return false;
    readings = qelta::ReadBaseStationRadioTypes(*c.form);
  } else {
    readings.push_back(qelta::ReadDeviceRadioType(*c.form));
  }
  if (c.format == qelta::cli::OutputFormat::Json) {
    c.afterRows = [readings = std::move(readings)](CliContext& ctx) {
      for (const auto& r : readings) ctx.out << RadioTypeJsonLine(r);
      ctx.out.flush();
    };
  }
  return true;
}

bool Run(CliContext& c, int command) {
  return c.form->RunCommand(command) || c.Fail("the command is not available");
}

}  // namespace

void RegisterDeviceSubcommands(CLI::App& app, CliContext& ctx) {
  // comm-id [ID]: the next comm ID (else the stored one) to the serial device, or numbered from
  // it over the chosen stations.
  {
    struct Options {
      Targets targets;
      std::optional<int64_t> id;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "comm-id", "Write a comm ID to the serial device, or number the chosen base stations");
    cmd->add_option("id", o->id, "The comm ID (or the first of the range); default: the next one")
        ->check(CLI::Range(int64_t{0}, int64_t{65535}));
    AddTargetOptions(cmd, o->targets);
    cmd->callback([&ctx, o] {
      const Options options = *o;
      ctx.action = [options](CliContext& c) {
        CQeltaConfigView& f = *c.form;
        // A number given here is the user's choice, as typed into the field; without one the
        // next stored comm ID is used.
        if (options.id) f.SetControlText(ids::kCommIdField, std::to_string(*options.id));
        if (options.targets.OnStations()) {
          if (!ChooseTargets(c, options.targets)) return false;
          c.ui.QueueDialogAnswer("CMultiCommIdDlg", DialogValue("start", options.id));
          PrintStationResultsAfterRows(c);
        }
        if (!Run(c, ids::kSetNewCommIdButton)) return false;
        c.Result("NextCommID", f.controls().Text(ids::kCommIdField));
        return true;
      };
    });
  }

  // channel [N]: set the channel (or, without N, show it) on the serial device or the stations.
  {
    struct Options {
      Targets targets;
      std::optional<int64_t> channel;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "channel",
        "Set (or, without a channel, show) the radio channel of the serial device or "
        "of the chosen base stations");
    cmd->add_option("channel", o->channel, "Channel 1 to 7")->check(CLI::Range(1, 7));
    AddTargetOptions(cmd, o->targets);
    cmd->callback([&ctx, o] {
      const Options options = *o;
      ctx.action = [options](CliContext& c) {
        const bool onStations = options.targets.OnStations();
        if (onStations && !options.channel &&
            (options.targets.all || options.targets.stations.size() != 1))
          return c.UsageError("the channel is shown for one station at a time");
        if (onStations && !ChooseTargets(c, options.targets)) return false;
        if (onStations && options.channel) PrintStationResultsAfterRows(c);
        const std::size_t dialogs = c.ui.Dialogs().size();
        c.ui.QueueDialogAnswer("CBSChannelDlg", options.channel
                                                    ? DialogValue("channel", options.channel)
                                                    : CancelDialog());
        int command = ids::kCmdDeviceChannel;
        if (onStations) command = options.channel ? ids::kCmdSameChannel : ids::kCmdChannel;
        if (!Run(c, command)) return false;
        if (!options.channel && c.ui.Dialogs().size() > dialogs)
          c.Result("Channel", c.ui.Dialogs().back().finalState.Value(qelta::kChannelField));
        return true;
      };
    });
  }

  // radio-type N: production mode only, as on the form. Without N: the radio type each device
  // holds, read back (in every mode).
  {
    struct Options {
      Targets targets;
      std::optional<int> radioType;
    };
    auto o = std::make_shared<Options>();
    CLI::App* cmd = app.add_subcommand(
        "radio-type",
        "Write radio type 1 to 3 to the serial device (its calibration byte) or to "
        "the chosen base stations (production mode only); without a type, read it back");
    cmd->add_option("type", o->radioType, "Radio type 1 to 3")->check(CLI::Range(1, 3));
    AddTargetOptions(cmd, o->targets);
    cmd->callback([&ctx, o] {
      const Options options = *o;
      ctx.action = [options](CliContext& c) {
        CQeltaConfigView& f = *c.form;
        if (!options.radioType) return ReadRadioTypes(c, options.targets);
        if (!f.uiProduction)
          return c.Fail("radio types are written in production mode only (setting UIProduction)");
        // The radio button, as a click: it also stores "LastRadioUsed".
        if (!Run(c, ids::kRadioType1 + *options.radioType - 1)) return false;
        if (options.targets.OnStations()) {
          if (!ChooseTargets(c, options.targets)) return false;
          PrintStationResultsAfterRows(c);
          return Run(c, ids::kCmdSetRadioType);
        }
        return Run(c, ids::kCmdDeviceRadioType);
      };
    });
  }
}

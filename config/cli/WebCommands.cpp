// The Ethernet module subcommands of the command line, on stations chosen by address: default
// settings, reboot, IP settings, IP recovery, description and the view of a module's settings. Each
// shows the stations as "View base stations" does, selects the chosen ones and runs the menu
// command; the dialogs take the values given here (or through --dialog), questions are answered
// with --yes.
#include <CLI/CLI.hpp>
#include <memory>

#include "app/WebOperations.h"
#include "cli/CliContext.h"
#include "network/DescriptionSettings.h"
#include "network/IpSettings.h"

namespace {

using qelta::ScriptedUi;

struct IpChoice {
  bool dhcp = false;
  std::string address, mask, gateway, hostName;
};

struct DescriptionChoice {
  std::string description, location, hostName;
};

struct DefaultsChoice {
  StationChoice stations;
  bool changedOnly = false;
  bool dryRun = false;
};

// {"module_settings":{"station":..,"changed":..,"ok":..,"differences":[{"setting":..,
// "before":..,"after":..}]}}; "before" null when the module does not show the setting.
std::string ModuleSettingsJsonLine(const qelta::network::DefaultsOutcome& o) {
  using qelta::cli::JsonString;
  std::string line = "{\"module_settings\":{\"station\":" + JsonString(o.station) +
                     ",\"changed\":" + (o.changed ? "true" : "false") +
                     ",\"ok\":" + (o.ok ? "true" : "false") + ",\"differences\":[";
  for (std::size_t i = 0; i < o.differences.size(); ++i) {
    const auto& d = o.differences[i];
    if (i) line += ",";
    line += "{\"setting\":" + JsonString(d.setting) +
            ",\"before\":" + (d.before ? JsonString(*d.before) : std::string("null")) +
            ",\"after\":" + JsonString(d.after) + "}";
  }
  return line + "]}}\n";
}

void AddStationOptions(CLI::App* cmd, StationChoice& choice, bool many) {
  if (many) {
    cmd->add_option("address", choice.addresses, "Dotted addresses of the stations")
        ->check(StationAddress());
    cmd->add_flag("--all", choice.all, "Every station found");
  } else {
    cmd->add_option("address", choice.addresses, "Dotted address of the station")
        ->required()
        ->expected(1)
        ->check(StationAddress());
  }
  cmd->add_option("--wait", choice.waitMs, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
}

ScriptedUi::DialogAnswer IpAnswer(const IpChoice& ip) {
  ScriptedUi::DialogAnswer a;
  if (ip.dhcp) {
    a.values["dhcp"] = "1";
  } else if (!ip.address.empty()) {
    a.values["ip"] = ip.address;  // typing the address chooses fixed settings
  }
  if (!ip.mask.empty()) a.values["mask"] = ip.mask;
  if (!ip.gateway.empty()) a.values["gateway"] = ip.gateway;
  if (!ip.hostName.empty()) a.values["hostName"] = ip.hostName;
  return a;
}

void AddIpOptions(CLI::App* cmd, IpChoice& ip, bool withHostName) {
  cmd->add_flag("--dhcp", ip.dhcp, "Use DHCP");
  cmd->add_option("--ip", ip.address, "Fixed IP address");
  cmd->add_option("--mask", ip.mask, "Subnet mask");
  cmd->add_option("--gateway", ip.gateway, "Default gateway");
  if (withHostName) cmd->add_option("--host-name", ip.hostName, "Host name");
}

}  // namespace

void RegisterWebSubcommands(CLI::App& app, CliContext& ctx) {
  auto defaults = std::make_shared<DefaultsChoice>();
  CLI::App* cmd = app.add_subcommand(
      "bs-eth-defaults", "Put the default Ethernet settings on these stations' modules");
  AddStationOptions(cmd, defaults->stations, true);
  CLI::Option* changedOnly =
      cmd->add_flag("--changed-only", defaults->changedOnly,
                    "Read each module's settings first; post only where a value differs");
  cmd->add_flag("--dry-run", defaults->dryRun,
                "Read each module's settings and tell what would change; post no settings")
      ->excludes(changedOnly);
  cmd->callback([&ctx, defaults] {
    ctx.action = [choice = *defaults](CliContext& c) {
      if (!ChooseStations(c, choice.stations)) return false;
      if (!choice.changedOnly && !choice.dryRun) {
        // One station is the single-station menu's command, several the many-stations one.
        return RunFormCommand(c, c.form->selectedBaseStation ? ids::kCmdSetDefaultEthernet
                                                             : ids::kCmdUploadDefaultEthernet);
      }
      using qelta::network::DefaultsMode;
      auto outcomes = qelta::network::CheckDefaultEthernetSettings(
          *c.form, choice.dryRun ? DefaultsMode::kDryRun : DefaultsMode::kChangedOnly);
      if (c.format == qelta::cli::OutputFormat::Json) {
        c.afterRows = [outcomes = std::move(outcomes)](CliContext& ctx) {
          for (const auto& o : outcomes) ctx.out << ModuleSettingsJsonLine(o);
          ctx.out.flush();
        };
      }
      return true;
    };
  });

  auto view = std::make_shared<StationChoice>();
  cmd = app.add_subcommand("bs-view", "View a station's Ethernet settings");
  AddStationOptions(cmd, *view, false);
  cmd->callback([&ctx, view] {
    ctx.action = [choice = *view](CliContext& c) {
      return ChooseStations(c, choice) && RunFormCommand(c, ids::kCmdViewEthernetSettings);
    };
  });

  auto reboot = std::make_shared<StationChoice>();
  cmd = app.add_subcommand("bs-reboot", "Reboot these stations' Ethernet modules");
  AddStationOptions(cmd, *reboot, true);
  cmd->callback([&ctx, reboot] {
    ctx.action = [choice = *reboot](CliContext& c) {
      if (!ChooseStations(c, choice)) return false;
      // One station asks first (answer with --yes); several are rebooted without asking.
      return RunFormCommand(
          c, c.form->selectedBaseStation ? ids::kCmdRebootModule : ids::kCmdRebootModules);
    };
  });

  auto ipStation = std::make_shared<StationChoice>();
  auto ip = std::make_shared<IpChoice>();
  cmd = app.add_subcommand("bs-ip", "Set a module's IP settings through its web forms");
  AddStationOptions(cmd, *ipStation, false);
  AddIpOptions(cmd, *ip, true);
  cmd->callback([&ctx, ipStation, ip] {
    ctx.action = [choice = *ipStation, values = *ip](CliContext& c) {
      c.ui.QueueDialogAnswer("CIPSettingsDlg", IpAnswer(values));
      return ChooseStations(c, choice) && RunFormCommand(c, ids::kCmdIpSettings);
    };
  });

  auto recoverStation = std::make_shared<StationChoice>();
  auto recover = std::make_shared<IpChoice>();
  cmd =
      app.add_subcommand("bs-recover", "Set a module's IP settings by discovery-protocol requests");
  AddStationOptions(cmd, *recoverStation, false);
  AddIpOptions(cmd, *recover, false);
  cmd->callback([&ctx, recoverStation, recover] {
    ctx.action = [choice = *recoverStation, values = *recover](CliContext& c) {
      c.ui.QueueDialogAnswer("CIPSettingsDlg", IpAnswer(values));
      return ChooseStations(c, choice) && RunFormCommand(c, ids::kCmdIpRecovery);
    };
  });

  auto describeStation = std::make_shared<StationChoice>();
  auto texts = std::make_shared<DescriptionChoice>();
  cmd = app.add_subcommand("bs-describe", "Set a module's description, location and host name");
  AddStationOptions(cmd, *describeStation, false);
  cmd->add_option("--description", texts->description, "Description");
  cmd->add_option("--location", texts->location, "Location");
  cmd->add_option("--host-name", texts->hostName, "Host name");
  cmd->callback([&ctx, describeStation, texts] {
    ctx.action = [choice = *describeStation, values = *texts](CliContext& c) {
      ScriptedUi::DialogAnswer a;
      a.values["description"] = values.description;
      a.values["location"] = values.location;
      a.values["hostName"] = values.hostName;
      c.ui.QueueDialogAnswer("CDescLocDlg", a);
      return ChooseStations(c, choice) && RunFormCommand(c, ids::kCmdSetDescription);
    };
  });
}

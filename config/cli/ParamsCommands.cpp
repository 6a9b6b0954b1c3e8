// The terminal-parameter subcommands of the command line: upload a configuration file, read a
// hand terminal out into a file, and the device-information report.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>

#include "app/StationRuns.h"
#include "cli/CheckedWriteOutput.h"
#include "cli/CliContext.h"
#include "cli/JsonFields.h"
#include "network/BaseStationRecord.h"

namespace {

struct UploadOptions {
  std::string file;
  std::string station;
  qelta::cli::CheckedWriteOptions checked;
};

// "address" or "address:port" of a base station's serial tunnel (port 2101 by default).
bool ParseStation(const std::string& text, BaseStationRecord& record) {
  std::string address = text;
  unsigned long port = 2101;
  if (const auto colon = text.find(':'); colon != std::string::npos) {
    address = text.substr(0, colon);
    const std::string portText = text.substr(colon + 1);
    if (portText.empty() || portText.find_first_not_of("0123456789") != std::string::npos) {
      return false;
    }
    port = std::stoul(portText.substr(0, 6));
    if (port == 0 || port > 65535) return false;
  }
  if (!qelta::network::TextToAddress(address, record.address)) return false;
  std::snprintf(record.addressText, sizeof record.addressText, "%s", address.c_str());
  record.port = static_cast<uint16_t>(port);
  return true;
}

// Runs one of the form's buttons, with the given station selected in the list when there is one,
// and fails when the operation showed an error box.
bool RunOnForm(CliContext& c, int command, const std::string& station) {
  CQeltaConfigView& form = *c.form;
  BaseStationRecord record{};
  if (!station.empty() && !ParseStation(station, record)) {
    return c.UsageError("a station is address[:port], not \"" + station + "\"");
  }
  const size_t messagesBefore = c.ui.Messages().size();
  bool ran = false;
  if (station.empty()) {
    ran = form.RunCommand(command);
  } else {
    // The station is the selected one of a list that shows it, for this command only.
    StationListHold hold(form);
    form.selectedBaseStation = &record;
    ran = form.RunCommand(command);
  }
  if (!ran) return c.Fail("the command is not available");
  const auto& messages = c.ui.Messages();
  for (size_t i = messagesBefore; i < messages.size(); ++i) {
    if (messages[i].icon == qelta::MessageIcon::Error) return c.Fail(messages[i].text);
  }
  return true;
}

// {"device_report":{...}}: the report's items (its information rows) under the snake_case of
// their names, decimal numbers as numbers; a name met again gets "_2", "_3", ... Empty when the
// report did not come to its items (a failure row stopped it).
std::string DeviceReportJsonLine(const OutputList& list) {
  std::vector<std::string> keys;
  std::string fields;
  for (const OutputRow& row : list.Rows()) {
    if (row.image == ids::kImageFailure) return {};
    if (row.image != ids::kImageInfo) continue;
    const std::string base = qelta::cli::SnakeCaseKey(row.text[0]);
    std::string key = base;
    for (int n = 2; std::find(keys.begin(), keys.end(), key) != keys.end(); ++n)
      key = base + "_" + std::to_string(n);
    keys.push_back(key);
    // An item's value keeps the template line's own line end; it is not part of the value.
    std::string value = row.text[1];
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    fields += (fields.empty() ? "" : ",") + qelta::cli::JsonString(key) + ":" +
              qelta::cli::JsonNumberOrString(value);
  }
  if (keys.empty()) return {};
  return "{\"device_report\":{" + fields + "}}\n";
}

}  // namespace

void RegisterParamsSubcommands(CLI::App& app, CliContext& ctx) {
  auto upload = std::make_shared<UploadOptions>();
  CLI::App* set = app.add_subcommand(
      "upload", "Write a configuration file (.pcg) into the device on the COM port or a station");
  set->add_option("file", upload->file, "The configuration file")->required();
  set->add_option("--station", upload->station, "A base station's address[:port] instead");
  qelta::cli::AddCheckedWriteOptions(set, upload->checked);
  set->callback([&ctx, upload] {
    UploadOptions args = *upload;
    args.file = PathFromStartFolder(args.file);
    ctx.action = [args](CliContext& c) {
      c.form->configFilePath = args.file;
      qelta::cli::ApplyCheckedWriteOptions(c, args.checked);
      return RunOnForm(c, ids::kSetConfigButton, args.station);
    };
  });

  auto output = std::make_shared<std::string>();
  CLI::App* get = app.add_subcommand("read-out", "Read a hand terminal's parameters into a file");
  get->add_option("file", *output, "The configuration file to write")->required();
  get->callback([&ctx, output] {
    const std::string path = PathFromStartFolder(*output);
    ctx.action = [path](CliContext& c) {
      c.ui.QueueFileDialogResult(path);
      // No editor on the command line: the file is the result.
      c.ui.SetProcessLauncher([&c](const qelta::ProcessRequest& request) {
        c.Result("written", request.argv.back(), ": ");
        return 0;
      });
      if (!RunOnForm(c, ids::kGetConfigButton, "")) return false;
      if (!std::filesystem::exists(path)) return c.Fail("nothing was read");
      return true;
    };
  });

  auto station = std::make_shared<std::string>();
  CLI::App* info =
      app.add_subcommand("device-report", "List the device information of the connected device");
  info->add_option("--station", *station, "A base station's address[:port] instead");
  info->callback([&ctx, station] {
    const std::string target = *station;
    ctx.action = [target](CliContext& c) {
      const bool ran = RunOnForm(c, ids::kReadDeviceInfoButton, target);
      if (c.format == qelta::cli::OutputFormat::Json) {
        c.afterRows = [](CliContext& ctx) {
          ctx.out << DeviceReportJsonLine(ctx.form->outputList());
          ctx.out.flush();
        };
      }
      return ran;
    };
  });
}

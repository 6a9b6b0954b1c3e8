// bs-inventory: the inventory of the stations chosen by address (or all of them), one row per
// station, and with --csv the CSV file. A station named by its address that discovery did not
// list still gets its row ("no answer"). In the json format each station's columns follow the
// rows as an object of their own.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/StationRuns.h"
#include "cli/CliContext.h"
#include "cli/JsonFields.h"
#include "inventory/Inventory.h"

namespace {

using namespace qelta::fleet;

// How a column reads in the json object.
enum class JsonKind { kText, kNumber, kOnOff };

struct JsonColumn {
  InventoryColumn column;
  const char* key;
  JsonKind kind;
};

constexpr JsonColumn kJsonColumns[] = {
    {kInvName, "name", JsonKind::kText},
    {kInvAddress, "address", JsonKind::kText},
    {kInvMac, "mac", JsonKind::kText},
    {kInvMask, "subnet_mask", JsonKind::kText},
    {kInvGateway, "gateway", JsonKind::kText},
    {kInvDhcp, "dhcp", JsonKind::kOnOff},
    {kInvDeviceType, "device_type", JsonKind::kNumber},
    {kInvSoftware, "software_version", JsonKind::kText},
    {kInvId, "id", JsonKind::kText},
    {kInvDate, "date", JsonKind::kText},
    {kInvChannel, "channel", JsonKind::kNumber},
    {kInvCommId, "comm_id", JsonKind::kNumber},
    {kInvBaud, "baud_rate", JsonKind::kNumber},
    {kInvDataBits, "data_bits", JsonKind::kNumber},
    {kInvStopBits, "stop_bits", JsonKind::kNumber},
    {kInvParity, "parity", JsonKind::kText},
    {kInvFlowControl, "flow_control", JsonKind::kText},
    {kInvDescription, "description", JsonKind::kText},
    {kInvLocation, "location", JsonKind::kText},
    {kInvStatus, "status", JsonKind::kText},
};

// {"inventory":{...}}: every column under its key; a cell that did not answer, or is empty, is
// null.
std::string InventoryJsonLine(const InventoryRecord& r) {
  std::string line = "{\"inventory\":{";
  for (const JsonColumn& c : kJsonColumns) {
    const std::string& cell = r.cells[c.column];
    std::string value;
    if (cell.empty() || cell == kNoAnswer) {
      value = "null";
    } else if (c.kind == JsonKind::kOnOff && (cell == "on" || cell == "off")) {
      value = cell == "on" ? "true" : "false";
    } else if (c.kind == JsonKind::kNumber) {
      value = qelta::cli::JsonNumberOrString(cell);
    } else {
      value = qelta::cli::JsonString(cell);
    }
    line += "\"" + std::string(c.key) + "\":" + value + ",";
  }
  return line + "\"ok\":" + (r.Failed() ? "false" : "true") + "}}\n";
}

// The station record of an address that discovery did not list: the address alone, the tunnel
// on its usual port.
BaseStationRecord RecordOfAddress(const std::string& address) {
  BaseStationRecord record{};
  qelta::network::TextToAddress(address, record.address);
  std::snprintf(record.addressText, sizeof record.addressText, "%s", address.c_str());
  record.port = qelta::network::kTunnelPort;
  return record;
}

}  // namespace

void RegisterInventorySubcommands(CLI::App& app, CliContext& ctx) {
  auto choice = std::make_shared<StationChoice>();
  auto csv = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand(
      "bs-inventory", "Identity, channel, comm ID and module settings of these stations");
  cmd->add_option("address", choice->addresses, "Dotted addresses of the stations")
      ->check(StationAddress());
  cmd->add_flag("--all", choice->all, "Every station found");
  CLI::Option* csvOption =
      cmd->add_option("--csv", *csv, "Write the inventory as CSV to this file");
  cmd->add_option("--wait", choice->waitMs, "Wait at most this long for discovery, ms")
      ->check(CLI::Range(0, 60000));
  cmd->callback([&ctx, choice, csv, csvOption] {
    const bool csvWithoutName = csvOption->count() > 0 && csv->empty();
    ctx.action = [stations = *choice, file = PathFromStartFolder(*csv),
                  csvWithoutName](CliContext& c) {
      if (stations.addresses.empty() && !stations.all)
        return c.UsageError("name stations or give --all");
      if (csvWithoutName) return c.UsageError("--csv needs the name of a file");
      std::vector<std::string> unlisted;
      if (!ShowChosenStations(c, stations) || !SelectStations(c, stations, &unlisted)) return false;
      std::vector<BaseStationRecord> records(qelta::network::kMaxBaseStations);
      records.resize(qelta::network::CopySelectedBaseStations(*c.form, records.data()));
      for (const std::string& address : unlisted) records.push_back(RecordOfAddress(address));
      if (records.empty()) return c.Fail(kNoStationFound);
      std::vector<InventoryRecord> inventory;
      std::string failure;
      FormRunHost host(*c.form);
      const bool written = RunInventory(host, c.form->files(), records.data(), records.size(), file,
                                        &inventory, unlisted.size(), &failure);
      if (c.format == qelta::cli::OutputFormat::Json) {
        c.afterRows = [inventory = std::move(inventory)](CliContext& ctx) {
          for (const InventoryRecord& r : inventory) ctx.out << InventoryJsonLine(r);
          ctx.out.flush();
        };
      }
      return written || c.Fail("the inventory file could not be written: " + file + ": " + failure);
    };
  });
}

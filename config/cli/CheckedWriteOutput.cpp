#include "cli/CheckedWriteOutput.h"

#include <CLI/CLI.hpp>
#include <ostream>

#include "params/ConfigCheck.h"
#include "params/ParamsState.h"

namespace qelta::cli {

namespace {

std::string StationJson(const std::string& station) {
  return station.empty() ? "null" : JsonString(station);
}

std::string Bool(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string DiffJsonLine(const DeviceComparison& device, const LineComparison& line) {
  std::string writes;
  for (const RangeComparison& range : line.ranges) {
    writes += std::string(writes.empty() ? "" : ",") +
              "{\"page\":" + std::to_string(range.range.page) +
              ",\"first\":" + std::to_string(range.range.first) +
              ",\"last\":" + std::to_string(range.range.last()) +
              ",\"file\":" + JsonString(HexBytes(range.file)) +
              ",\"device\":" + (range.device ? JsonString(HexBytes(*range.device)) : "null") + "}";
  }
  return "{\"diff\":{\"station\":" + StationJson(device.station) +
         ",\"source\":" + JsonString(line.source) + ",\"parameter\":" + JsonString(line.parameter) +
         ",\"file_value\":" + JsonString(line.fileValue) +
         ",\"device_value\":" + (line.deviceValue ? JsonString(*line.deviceValue) : "null") +
         ",\"match\":" + Bool(line.match) + ",\"writes\":[" + writes + "]}}\n";
}

std::string WrittenJsonLine(const DeviceWrites& device) {
  const WriteSummary& s = device.summary;
  return "{\"written\":{\"station\":" + StationJson(device.station) +
         ",\"bytes\":" + std::to_string(s.bytes) +
         ",\"lines_written\":" + std::to_string(s.linesWritten) +
         ",\"lines_unchanged\":" + std::to_string(s.linesUnchanged) + "}}\n";
}

void AddCheckedWriteOptions(CLI::App* cmd, CheckedWriteOptions& options) {
  cmd->add_flag("--verify", options.verify,
                "Read back every byte written; a byte that differs is a failure row");
  cmd->add_flag("--changed-only", options.changedOnly,
                "Read the device first and write only what differs from the file (then verify "
                "what was written); nothing written: no reset");
}

void ApplyCheckedWriteOptions(CliContext& c, const CheckedWriteOptions& options) {
  if (options.verify || options.changedOnly) c.form->verifyWrites = 1;
  if (options.changedOnly) c.form->writeChangedOnly = 1;
  if (c.format != OutputFormat::Json) return;
  c.afterRows = [](CliContext& ctx) {
    // A device whose read-back failed has no count to trust: its failure row says so, and
    // a program reading the objects finds none for it.
    for (const DeviceWrites& device : ctx.form->params->writes)
      if (!device.summary.verifyFailed) ctx.out << WrittenJsonLine(device);
    ctx.out.flush();
  };
}

bool FinishComparison(CliContext& c) {
  const std::vector<DeviceComparison>& found = c.form->params->comparisons;
  std::size_t unread = 0;
  for (const DeviceComparison& device : found) {
    if (!device.read) {
      ++unread;
    } else if (!device.InSync()) {
      c.differs = true;
    }
  }
  if (c.format == OutputFormat::Json) {
    c.afterRows = [](CliContext& ctx) {
      for (const DeviceComparison& device : ctx.form->params->comparisons)
        for (const LineComparison& line : device.lines) ctx.out << DiffJsonLine(device, line);
      ctx.out.flush();
    };
  }
  if (found.empty()) return c.Fail("no device was compared");
  if (unread > 0)
    return c.Fail(std::to_string(unread) + (unread == 1 ? " device was" : " devices were") +
                  " not read");
  return true;
}

}  // namespace qelta::cli

// What the command line prints of comparisons and checked writes after the rows (json): one
// {"diff":{...}} object per line of the file and device, one {"written":{...}} object per device
// that a checked upload wrote to (none for a device whose read-back failed); and the options
// --verify / --changed-only of the uploads.
#pragma once

#include <string>

#include "cli/CliContext.h"
#include "params/CheckedWrites.h"
#include "params/FileMemory.h"

namespace qelta::cli {

std::string DiffJsonLine(const DeviceComparison& device, const LineComparison& line);
std::string WrittenJsonLine(const DeviceWrites& device);

struct CheckedWriteOptions {
  bool verify = false;
  bool changedOnly = false;
};
void AddCheckedWriteOptions(CLI::App* cmd, CheckedWriteOptions& options);
// The options override the settings "VerifyWrites" and "WriteChangedOnly" for this command; in
// json the {"written"} objects follow the rows.
void ApplyCheckedWriteOptions(CliContext& c, const CheckedWriteOptions& options);

// After a comparison: exit 4 when a device differs, a failure when one could not be read; in json
// the {"diff"} objects follow the rows.
bool FinishComparison(CliContext& c);

}  // namespace qelta::cli

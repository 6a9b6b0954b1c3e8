// The module's default settings compared with what the module holds: "bs-eth-defaults
// --changed-only" reads each module's settings first and posts the defaults only where a value
// differs; "--dry-run" only tells what a real run would change.
//
// Every value the default forms post is compared with the module's settings backup. A value the
// backup does not show counts as differing (before: none), so that "already set" is said only of
// a module that shows every default.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fleet/StationHandle.h"
#include "modules/ModuleSettings.h"

namespace qelta::network {

enum class DefaultsMode {
  kAlways,       // post every form, as "Upload default Ethernet settings" does
  kChangedOnly,  // read first, post only to a module where a value differs
  kDryRun,       // read and report; no settings form posted
};

struct SettingDifference {
  std::string setting;                // "baud_rate"
  std::optional<std::string> before;  // as the module shows it; none when it does not
  std::string after;                  // the default, as the module shows it
};

// One station's outcome of a checked run.
struct DefaultsOutcome {
  std::string station;   // its dotted address
  bool read = false;     // its settings were read
  bool changed = false;  // posted (changed-only) or would be posted (dry run)
  bool ok = false;       // no failure of any kind (probe, read, posts)
  std::vector<SettingDifference> differences;
};

// The default values the module does not hold, in the order the forms post them.
std::vector<SettingDifference> DefaultSettingsDifferences(const ModuleSettings& settings);
// For people: "baud_rate: 9600 -> 19200; dhcp: (none) -> on".
std::string DifferencesText(const std::vector<SettingDifference>& differences);

// One station of a checked run: probe, read the module's settings, compare; a row "already set",
// or a row naming the differences followed (changed-only) by the default forms as today. A module
// that cannot be read gets the failure row "Cannot read module settings" with its address.
void CheckedDefaultsForStation(fleet::StationHandle& station, DefaultsMode mode,
                               DefaultsOutcome& outcome);

}  // namespace qelta::network

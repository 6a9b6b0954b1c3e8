#include "fleet/FleetSettings.h"

#include "core/SettingsStore.h"

namespace qelta::fleet {

int ClampJobs(long long value) {
  if (value < kMinJobs) return kMinJobs;
  if (value > kMaxJobs) return kMaxJobs;
  return static_cast<int>(value);
}

int JobsFor(const FleetOptions& options, SettingsStore& settings) {
  if (options.jobsOverride > 0) return ClampJobs(options.jobsOverride);
  // Read as it is now (another program may have changed it); a missing value is not written back,
  // so a run leaves the settings file as it found it.
  SettingsDocument doc;
  if (settings.Open(doc) != 0) return kMinJobs;
  const std::optional<uint32_t> value = ReadNumberValue(doc, kParallelStationsSetting);
  // The number is stored as 32 bits: a "negative" one reads as a large value, and means the
  // lowest.
  if (!value || *value > 0x7FFFFFFFu) return kMinJobs;
  return ClampJobs(*value);
}

void SetMonitor(FleetOptions& options, FleetMonitor* monitor) { options.monitor = monitor; }

void SetJobsOverride(FleetOptions& options, int jobs) {
  options.jobsOverride = jobs > 0 ? ClampJobs(jobs) : 0;
}

}  // namespace qelta::fleet

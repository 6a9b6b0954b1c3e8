#include "fleet/FleetSettings.h"

#include <memory>

#include "app/QeltaConfigView.h"

namespace qelta::fleet {

FleetState& Fleet(CQeltaConfigView& view) {
  if (!view.fleet) view.fleet = std::make_shared<FleetState>();
  return *view.fleet;
}

int ClampJobs(long long value) {
  if (value < kMinJobs) return kMinJobs;
  if (value > kMaxJobs) return kMaxJobs;
  return static_cast<int>(value);
}

int JobsFor(CQeltaConfigView& view) {
  const FleetState& state = Fleet(view);
  if (state.jobsOverride > 0) return ClampJobs(state.jobsOverride);
  // Read as it is now (another program may have changed it); a missing value is not written back,
  // so a run leaves the settings file as it found it.
  SettingsDocument doc;
  if (view.settings().Open(doc) != 0) return kMinJobs;
  const std::optional<uint32_t> value = ReadNumberValue(doc, kParallelStationsSetting);
  // The number is stored as 32 bits: a "negative" one reads as a large value, and means the
  // lowest.
  if (!value || *value > 0x7FFFFFFFu) return kMinJobs;
  return ClampJobs(*value);
}

void SetMonitor(CQeltaConfigView& view, FleetMonitor* monitor) { Fleet(view).monitor = monitor; }

void SetJobsOverride(CQeltaConfigView& view, int jobs) {
  Fleet(view).jobsOverride = jobs > 0 ? ClampJobs(jobs) : 0;
}

}  // namespace qelta::fleet

// How many stations a multi-station command works on at once, and who watches its progress.
//
// The number comes from the command line's --jobs for that run, else from the setting
// "ParallelStations" (a number, default 1, 1 to 64; a value outside is taken as the nearest
// bound). The front end hands in a monitor that shows the progress and tells when the user asked
// to cancel.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class SettingsStore;

namespace qelta::fleet {

inline constexpr const char* kParallelStationsSetting = "ParallelStations";
inline constexpr int kMinJobs = 1;
inline constexpr int kMaxJobs = 64;

struct FleetProgress {
  std::size_t done = 0;  // stations whose work in this phase has ended
  std::size_t total = 0;
  std::size_t failures = 0;  // stations with a failure so far (in any phase)
  int phase = 1;
  int phases = 1;
  int jobs = 1;
  bool cancelled = false;
};

// How a station of a run ended.
struct StationOutcome {
  std::string station;   // its dotted address
  bool ok = true;        // it answered, no failure row, not left out by a cancel
  bool changed = false;  // its work changed something on it
};

// Called on the form's thread.
class FleetMonitor {
 public:
  virtual ~FleetMonitor() = default;
  virtual void RunStarted(const FleetProgress&) {}
  virtual void Progress(const FleetProgress&) {}
  virtual void RunEnded(const FleetProgress&) {}
  // Each station's outcome in list order, as the run ends (before RunEnded).
  virtual void StationsEnded(const std::vector<StationOutcome>&) {}
  // Polled between stations and while the form waits for workers.
  virtual bool CancelRequested() { return false; }
  // While the form waits for worker threads (about every 50 ms): a window paints and takes the
  // Cancel button here. False: the runner lets the form's rows paint instead.
  virtual bool Idle() { return false; }
};

// What the front end chose for the form's runs.
struct FleetOptions {
  int jobsOverride = 0;             // --jobs of this program run; 0: the setting
  FleetMonitor* monitor = nullptr;  // must outlive its use
};

// The number of stations at once for the next run (1 to 64).
int JobsFor(const FleetOptions& options, SettingsStore& settings);
int ClampJobs(long long value);

// The front end's monitor (null: none).
void SetMonitor(FleetOptions& options, FleetMonitor* monitor);
// A number of stations at once for this program run, overriding the setting (0: the setting).
void SetJobsOverride(FleetOptions& options, int jobs);

}  // namespace qelta::fleet

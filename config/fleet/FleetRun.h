// The fleet runner: the per-station part of a multi-station command on up to N stations at once.
// It knows station handles and phases, not the form: the form lends it what a run needs through
// a RunHost.
//
// With N = 1 every station runs on the form's thread in list order, with the form's own link
// object and its rows going straight into the form's list, exactly as the command always ran.
// With N > 1 up to N worker threads take the stations in list order, each with its own link
// object and HTTP session, each station's rows going into its block; the form's sink takes the
// blocks in list order as they complete, so the list reads as the one-at-a-time run's. A command
// whose stations go through several phases (all module defaults, then every station's EEPROM,
// ...) runs one Phase() after the other; a phase ends when its last station has ended. The
// workers, with their link objects and HTTP sessions, start with the run's first phase on workers
// and stay for its later phases.
//
// Cancel (the window's button, SIGINT on the command line): no further station starts, running
// ones finish, and every station not done gets one failure row (image 0) that says what was not
// done: "Not started (cancelled)" for a station that did none of the run's phases, "Not done
// (cancelled): EEPROM, radio type" for one that did the first of a run whose phases have names.
// A run of unnamed phases says "Not started (cancelled)" for every station not done.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fleet/FleetSettings.h"
#include "fleet/RunHost.h"
#include "fleet/StationHandle.h"

namespace qelta::fleet {

inline constexpr const char* kNotStartedText = "Not started (cancelled)";
// Followed by the names of the phases the station did not do, in their order.
inline constexpr const char* kNotDoneText = "Not done (cancelled): ";
inline constexpr int kNotStartedImage = 0;

using StationWork = std::function<void(StationHandle&)>;

class FleetRun {
 public:
  // `stations`: copies of the records in list order (their cancel rows show their addresses, and
  // their answer files carry them). `phases`: how many Phase() calls the command makes. The run's
  // settings are copied from the host now.
  FleetRun(RunHost& host, std::vector<BaseStationRecord> stations, int phases = 1);
  FleetRun(RunHost& host, const BaseStationRecord* stations, std::size_t count, int phases = 1);
  // A run whose phases have names ("module settings", "EEPROM", ...), one per Phase() call: a
  // cancel names the phases each station did not do.
  FleetRun(RunHost& host, const BaseStationRecord* stations, std::size_t count,
           std::vector<std::string> phaseNames);
  ~FleetRun();
  FleetRun(const FleetRun&) = delete;
  FleetRun& operator=(const FleetRun&) = delete;

  // Runs `work` for every station. `sharedFiles`: answer files that the stations of this phase
  // write one after the other into the same file when they run one at a time (opened as the
  // phase starts, closed as it ends); stations at once each write files of their own. False when
  // the run is (or was already) cancelled.
  bool Phase(const StationWork& work, const std::vector<std::string>& sharedFiles = {});
  // A phase the command leaves out (it stopped before it): only the count moves on.
  void SkipPhase();
  // A wait the stations need after this phase before the next one (a reset that must take
  // effect). One station at a time: waited here and now. Several at once: each station's next
  // phase starts no earlier than `wait` after its own end of this one, so that stations done
  // early need not wait for the last one's wait.
  void SettleBeforeNextPhase(std::chrono::milliseconds wait);
  // What is left of that wait, waited here and now (for work on the stations outside this run).
  void SettleNow();

  std::size_t Size() const { return stations_.size(); }
  int Jobs() const { return jobs_; }
  bool Cancelled() const { return cancelled_; }
  FleetProgress Progress() const;

 private:
  bool PhaseOnForm(const StationWork& work, const std::vector<std::string>& sharedFiles);
  bool PhaseOnWorkers(const StationWork& work);
  struct Pool;
  // The rows of a cancel: one per station that did not do every phase.
  void CancelRows();
  // The station's work in the current phase has ended.
  void PhaseDone(std::size_t station);
  bool CancelAsked();
  void Show();

  RunHost& host_;
  const RunSettings settings_;
  std::vector<BaseStationRecord> stations_;
  std::vector<std::string> suffixes_;
  std::vector<char> failed_;
  std::vector<char> changed_;
  std::vector<char> notStarted_;  // left out by a cancel
  FleetMonitor* monitor_;
  int jobs_;
  int phases_;
  std::vector<std::string> phaseNames_;  // empty: the phases have none
  // Per station, the phases (bit p: phase p + 1) whose work ended for it.
  std::vector<std::uint64_t> phasesDone_;
  int phase_ = 0;
  std::size_t done_ = 0;
  bool cancelled_ = false;
  std::chrono::milliseconds settle_{0};
  // When each station's work in the last phase on workers ended.
  std::vector<std::chrono::steady_clock::time_point> ended_;
  std::unique_ptr<Pool> pool_;
};

// One station's work (or the serial device's, `station` null) on the form's thread, through the
// same handle as a run's station: the form's link and rows, the form's state applied as it ends.
void RunOne(RunHost& host, const BaseStationRecord* station, const StationWork& work);

}  // namespace qelta::fleet

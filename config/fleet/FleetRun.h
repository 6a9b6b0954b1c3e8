// The fleet runner: the per-station part of a multi-station command on up to N stations at once.
//
// With N = 1 every station runs on the form's thread in list order, exactly as the command always
// ran. With N > 1 up to N worker threads take the stations in list order, each with its own link
// object, HTTP session and block of rows; the form replays the blocks in list order as they
// complete, so the list reads as the one-at-a-time run's. A command whose stations go through
// several phases (all module defaults, then every station's EEPROM, ...) runs one Phase() after
// the other; a phase ends when its last station has ended. The workers, with their link objects
// and HTTP sessions, start with the run's first phase on workers and stay for its later phases.
//
// Cancel (the window's button, SIGINT on the command line): no further station starts, running
// ones finish, and every station not done gets one row "Not started (cancelled)" (image 0).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fleet/FleetSettings.h"
#include "fleet/StationScope.h"

class CQeltaConfigView;

namespace qelta::network {
class WebSession;
}

namespace qelta::fleet {

inline constexpr const char* kNotStartedText = "Not started (cancelled)";
inline constexpr int kNotStartedImage = 0;

using StationWork = std::function<void(StationScope&, std::size_t index)>;

class FleetRun {
 public:
  // `stations`: the address texts of the stations in list order (their cancel rows show them, and
  // their answer files carry them). `phases`: how many Phase() calls the command makes.
  FleetRun(CQeltaConfigView& view, std::vector<std::string> stations, int phases = 1);
  ~FleetRun();
  FleetRun(const FleetRun&) = delete;
  FleetRun& operator=(const FleetRun&) = delete;

  // Runs `work` for every station. `session`: the operation's HTTP session for one station at a
  // time (null: made on first use). `shared`: answer files the operation opened for a one-at-a-
  // time run (name, file). False when the run is (or was already) cancelled.
  bool Phase(const StationWork& work, network::WebSession* session = nullptr,
             const std::vector<std::pair<std::string, FILE*>>& shared = {});
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
  bool OneAtATime() const { return jobs_ <= 1; }
  bool Cancelled() const { return cancelled_; }
  FleetProgress Progress() const;

 private:
  bool PhaseOnForm(const StationWork& work, network::WebSession* session,
                   const std::vector<std::pair<std::string, FILE*>>& shared);
  bool PhaseOnWorkers(const StationWork& work);
  struct Pool;
  // The rows of a cancel: from station `first` on, or every station when phases follow.
  void CancelRows(std::size_t first);
  bool CancelAsked();
  void Show();

  CQeltaConfigView& view_;
  std::vector<std::string> stations_;
  std::vector<std::string> suffixes_;
  std::vector<char> failed_;
  FleetMonitor* monitor_;
  int jobs_;
  int phases_;
  int phase_ = 0;
  std::size_t done_ = 0;
  bool cancelled_ = false;
  std::chrono::milliseconds settle_{0};
  // When each station's work in the last phase on workers ended.
  std::vector<std::chrono::steady_clock::time_point> ended_;
  std::unique_ptr<Pool> pool_;
};

// A single-station operation on the form's thread through the same code as a fleet run's station.
void RunOnForm(CQeltaConfigView& view, const std::function<void(StationScope&)>& work);

// The address texts of `count` records (for FleetRun).
std::vector<std::string> StationNames(const BaseStationRecord* records, std::size_t count);

}  // namespace qelta::fleet

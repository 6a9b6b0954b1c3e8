#include "fleet/FleetRun.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "app/QeltaConfigView.h"
#include "fleet/StationBlock.h"
#include "fleet/WorkerThread.h"
#include "network/BaseStationRecord.h"
#include "network/CurlGlobal.h"

namespace qelta::fleet {
namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(50);

// Answer-file suffixes: the station's address, and its place in the list when the address comes
// twice (a module that answered discovery twice), so that no two workers write one file.
std::vector<std::string> Suffixes(const std::vector<std::string>& stations) {
  std::map<std::string, int> seen;
  for (const std::string& s : stations) ++seen[s];
  std::vector<std::string> out;
  out.reserve(stations.size());
  for (std::size_t i = 0; i < stations.size(); ++i) {
    const std::string& s = stations[i];
    out.push_back(seen[s] > 1 ? s + "-" + std::to_string(i + 1) : s);
  }
  return out;
}

// The work of one station on a worker thread; nothing may escape the thread.
void RunGuarded(const StationWork& work, StationScope& scope, std::size_t index) {
  try {
    work(scope, index);
  } catch (const std::exception& e) {
    scope.AddRow("Station stopped by an internal error", e.what(), 0, RowKind::Failure);
  } catch (...) {
    scope.AddRow("Station stopped by an internal error", "", 0, RowKind::Failure);
  }
}

}  // namespace

FleetRun::FleetRun(CQeltaConfigView& view, std::vector<std::string> stations, int phases)
    : view_(view),
      stations_(std::move(stations)),
      suffixes_(Suffixes(stations_)),
      failed_(stations_.size(), 0),
      monitor_(Fleet(view).monitor),
      jobs_(std::min<int>(JobsFor(view), static_cast<int>(std::max<std::size_t>(stations_.size(),
                                                                                std::size_t{1})))),
      phases_(std::max(phases, 1)) {
  if (monitor_ && !stations_.empty()) monitor_->RunStarted(Progress());
}

FleetRun::~FleetRun() {
  pool_.reset();  // the workers leave; their links and sessions go with them
  if (monitor_ && !stations_.empty()) monitor_->RunEnded(Progress());
}

FleetProgress FleetRun::Progress() const {
  FleetProgress p;
  p.done = done_;
  p.total = stations_.size();
  p.failures = static_cast<std::size_t>(std::count(failed_.begin(), failed_.end(), 1));
  p.phase = std::max(phase_, 1);
  p.phases = phases_;
  p.jobs = jobs_;
  p.cancelled = cancelled_;
  return p;
}

void FleetRun::Show() {
  if (monitor_) monitor_->Progress(Progress());
}

bool FleetRun::CancelAsked() {
  if (!monitor_) return false;
  monitor_->Idle();
  return monitor_->CancelRequested();
}

void FleetRun::SkipPhase() {
  ++phase_;
  done_ = 0;
}

bool FleetRun::Phase(const StationWork& work, network::WebSession* session,
                     const std::vector<std::pair<std::string, FILE*>>& shared) {
  ++phase_;
  done_ = 0;
  if (cancelled_) return false;
  if (stations_.empty()) return true;
  Show();
  return OneAtATime() ? PhaseOnForm(work, session, shared) : PhaseOnWorkers(work);
}

bool FleetRun::PhaseOnForm(const StationWork& work, network::WebSession* session,
                           const std::vector<std::pair<std::string, FILE*>>& shared) {
  FormScope scope(view_, session);
  for (const auto& [name, file] : shared) scope.Files().Share(name, file);
  for (std::size_t i = 0; i < stations_.size(); ++i) {
    if (CancelAsked()) {
      cancelled_ = true;
      scope.NextStation();
      CancelRows(i);
      Show();
      return false;
    }
    scope.NextStation();
    work(scope, i);
    if (scope.Failed()) failed_[i] = 1;
    ++done_;
    Show();
  }
  scope.NextStation();
  return true;
}

// The run's workers. Each has its own link object and HTTP session (in its WorkerScope) and takes
// the stations of a phase in list order; between phases it waits for the next one.
struct FleetRun::Pool {
  using Clock = std::chrono::steady_clock;

  std::mutex m;
  std::condition_variable work;      // workers: a phase to take stations from, a cancel, the end
  std::condition_variable finished;  // the form: a station's work has ended
  const StationWork* job = nullptr;  // the phase's work; null between phases
  std::size_t next = 0;              // the next station to start; stations start in list order
  bool stop = false;                 // cancelled: no further station starts
  bool quit = false;                 // the run ends: the workers leave
  std::vector<StationBlock> blocks;
  std::vector<char> complete;
  std::vector<char> failed;
  std::vector<Clock::time_point> notBefore;  // a station starts no earlier (its settle wait)
  std::vector<Clock::time_point> ended;
  std::vector<std::unique_ptr<WorkerThread>> threads;
  // libcurl's global state, set up once a worker needs an HTTP session and kept until the
  // workers have gone.
  std::once_flag curlOnce;
  std::unique_ptr<network::CurlUse> curl;

  explicit Pool(std::size_t n) : blocks(n), complete(n, 0), failed(n, 0), notBefore(n), ended(n) {}

  ~Pool() {
    {
      std::lock_guard<std::mutex> hold(m);
      quit = true;
    }
    work.notify_all();
    for (auto& t : threads) t->Join();
  }

  // The next station of the phase once it is due; false when the run ends.
  bool Take(std::size_t& index, const StationWork*& phaseWork) {
    std::unique_lock<std::mutex> hold(m);
    for (;;) {
      if (quit) return false;
      if (job && !stop && next < blocks.size()) {
        const Clock::time_point due = notBefore[next];
        if (Clock::now() >= due) {
          index = next++;
          phaseWork = job;
          return true;
        }
        work.wait_until(hold, due);
      } else {
        work.wait(hold);
      }
    }
  }

  void Worker(CQeltaConfigView& view, const std::vector<std::string>& suffixes) {
    WorkerScope scope(view, [this] {
      std::call_once(curlOnce, [this] { curl = std::make_unique<network::CurlUse>(); });
    });
    std::size_t i = 0;
    const StationWork* phaseWork = nullptr;
    while (Take(i, phaseWork)) {
      scope.Begin(&blocks[i], suffixes[i]);
      RunGuarded(*phaseWork, scope, i);
      const bool stationFailed = scope.Failed();
      scope.End();
      {
        std::lock_guard<std::mutex> hold(m);
        complete[i] = 1;
        failed[i] = stationFailed ? 1 : 0;
        ended[i] = Clock::now();
      }
      finished.notify_all();
    }
  }
};

void FleetRun::SettleBeforeNextPhase(std::chrono::milliseconds wait) {
  if (wait.count() <= 0) return;
  if (OneAtATime() || ended_.empty()) {
    std::this_thread::sleep_for(wait);
    return;
  }
  settle_ = wait;
}

void FleetRun::SettleNow() {
  if (settle_.count() <= 0) return;
  const auto last = *std::max_element(ended_.begin(), ended_.end());
  std::this_thread::sleep_until(last + settle_);
  settle_ = std::chrono::milliseconds(0);
}

bool FleetRun::PhaseOnWorkers(const StationWork& work) {
  const std::size_t n = stations_.size();
  if (!pool_) pool_ = std::make_unique<Pool>(n);
  Pool& s = *pool_;
  {
    std::lock_guard<std::mutex> hold(s.m);
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < n; ++i) {
      s.blocks[i].Clear();
      s.complete[i] = 0;
      s.failed[i] = 0;
      // A station that ended the last phase early has waited part of its settle time already.
      s.notBefore[i] = settle_.count() > 0 && i < ended_.size() ? ended_[i] + settle_ : now;
    }
    settle_ = std::chrono::milliseconds(0);
    s.next = 0;
    s.stop = false;
    s.job = &work;
  }
  if (s.threads.empty()) {
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(jobs_), n);
    s.threads.reserve(count);
    for (std::size_t t = 0; t < count; ++t) {
      auto thread = std::make_unique<WorkerThread>();
      if (thread->Start([this, &s] { s.Worker(view_, suffixes_); }))
        s.threads.push_back(std::move(thread));
    }
  }
  if (s.threads.empty()) {
    // Not one thread could be started: the stations go one at a time on the form's thread, after
    // the whole of any settle wait.
    std::this_thread::sleep_until(*std::max_element(s.notBefore.begin(), s.notBefore.end()));
    {
      std::lock_guard<std::mutex> hold(s.m);
      s.job = nullptr;
    }
    const bool ok = PhaseOnForm(work, nullptr, {});
    ended_.assign(n, std::chrono::steady_clock::now());
    return ok;
  }
  s.work.notify_all();

  std::size_t merged = 0;
  std::size_t limit = n;  // the stations that will run: all of them unless cancelled
  while (merged < limit) {
    std::size_t ready = merged;
    {
      std::unique_lock<std::mutex> hold(s.m);
      s.finished.wait_for(hold, kWaitSlice, [&] { return s.complete[merged] != 0; });
      while (ready < limit && s.complete[ready]) ++ready;
    }
    // Replayed outside the lock: the workers go on meanwhile, and a finished block is no longer
    // touched by its worker.
    for (; merged < ready; ++merged) {
      s.blocks[merged].Replay(view_);
      s.blocks[merged].Clear();
      if (s.failed[merged]) failed_[merged] = 1;
      ++done_;
    }
    Show();
    if (!cancelled_) {
      const bool painted = monitor_ && monitor_->Idle();
      if (!painted) view_.ui().KeepPainting();
      if (monitor_ && monitor_->CancelRequested()) {
        {
          std::lock_guard<std::mutex> hold(s.m);
          s.stop = true;
          cancelled_ = true;
          limit = s.next;
        }
        s.work.notify_all();  // workers waiting for a station's settle time
      }
    }
  }
  {
    // Every station taken has ended: no worker holds the phase's work any longer.
    std::lock_guard<std::mutex> hold(s.m);
    s.job = nullptr;
    ended_ = s.ended;
  }
  if (cancelled_) CancelRows(limit);
  Show();
  return !cancelled_;
}

void FleetRun::CancelRows(std::size_t first) {
  // Later phases will not run: the stations that finished this one are not done either.
  if (phase_ < phases_) first = 0;
  for (std::size_t i = first; i < stations_.size(); ++i)
    view_.AddOutputRow(kNotStartedText, stations_[i], kNotStartedImage, RowKind::Failure);
}

void RunOnForm(CQeltaConfigView& view, const std::function<void(StationScope&)>& work) {
  FormScope scope(view);
  work(scope);
}

std::vector<std::string> StationNames(const BaseStationRecord* records, std::size_t count) {
  std::vector<std::string> names;
  if (records == nullptr) return names;
  names.reserve(count);
  for (std::size_t i = 0; i < count; ++i) names.emplace_back(records[i].addressText);
  return names;
}

}  // namespace qelta::fleet

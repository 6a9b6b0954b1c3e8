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

bool FleetRun::PhaseOnWorkers(const StationWork& work) {
  const std::size_t n = stations_.size();
  struct Shared {
    std::mutex m;
    std::condition_variable cv;
    std::size_t next = 0;  // the next station to start; stations start in list order
    bool stop = false;
    std::vector<StationBlock> blocks;
    std::vector<char> complete;
    std::vector<char> failed;
  } s;
  s.blocks.resize(n);
  s.complete.assign(n, 0);
  s.failed.assign(n, 0);

  // libcurl's global state stays set up while the workers may open sessions.
  network::CurlUse curl;
  auto worker = [this, &s, &work, n] {
    WorkerScope scope(view_);
    for (;;) {
      std::size_t i;
      {
        std::lock_guard<std::mutex> hold(s.m);
        if (s.stop || s.next >= n) break;
        i = s.next++;
      }
      scope.Begin(&s.blocks[i], suffixes_[i]);
      RunGuarded(work, scope, i);
      const bool failed = scope.Failed();
      scope.End();
      {
        std::lock_guard<std::mutex> hold(s.m);
        s.complete[i] = 1;
        s.failed[i] = failed ? 1 : 0;
      }
      s.cv.notify_all();
    }
  };
  std::vector<std::thread> threads;
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(jobs_), n);
  threads.reserve(count);
  for (std::size_t t = 0; t < count; ++t) threads.emplace_back(worker);

  std::size_t merged = 0;
  std::size_t limit = n;  // the stations that will run: all of them unless cancelled
  while (merged < limit) {
    std::size_t ready = merged;
    {
      std::unique_lock<std::mutex> hold(s.m);
      s.cv.wait_for(hold, kWaitSlice, [&] { return s.complete[merged] != 0; });
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
        std::lock_guard<std::mutex> hold(s.m);
        s.stop = true;
        cancelled_ = true;
        limit = s.next;
      }
    }
  }
  for (std::thread& t : threads) t.join();
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

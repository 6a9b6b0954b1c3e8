#include "fleet/FleetRun.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "fleet/StationBlock.h"
#include "halvex/HalvexCtrl.h"
#include "halvex/SmallStackThread.h"
#include "network/CurlGlobal.h"
#include "network/WebClient.h"

namespace qelta::fleet {
namespace {

constexpr auto kWaitSlice = std::chrono::milliseconds(50);

// Answer-file suffixes: the station's address, and its place in the list when the address comes
// twice (a module that answered discovery twice), so that no two workers write one file.
std::vector<std::string> Suffixes(const std::vector<BaseStationRecord>& stations) {
  std::map<std::string, int> seen;
  for (const BaseStationRecord& s : stations) ++seen[s.addressText];
  std::vector<std::string> out;
  out.reserve(stations.size());
  for (std::size_t i = 0; i < stations.size(); ++i) {
    const std::string address = stations[i].addressText;
    out.push_back(seen[address] > 1 ? address + "-" + std::to_string(i + 1) : address);
  }
  return out;
}

// The work of one station on a worker thread; nothing may escape the thread.
void RunGuarded(const StationWork& work, StationHandle& station) {
  try {
    work(station);
  } catch (const std::exception& e) {
    station.AddRow("Station stopped by an internal error", e.what(), 0, RowKind::Failure);
  } catch (...) {
    station.AddRow("Station stopped by an internal error", "", 0, RowKind::Failure);
  }
}

// The form's thread: the form's own link object, and an HTTP session made on first use.
class FormLane final : public StationLane {
 public:
  explicit FormLane(CHalvexCtrl& link) : link_(link) {}
  CHalvexCtrl& Link() override { return link_; }
  network::WebSession& Web() override {
    if (!session_) session_ = std::make_unique<network::WebSession>();
    return *session_;
  }

 private:
  CHalvexCtrl& link_;
  std::unique_ptr<network::WebSession> session_;
};

// A worker's thread: a link object and an HTTP session of its own, each made on first use and
// kept for the worker's next stations. The link's own messages belong to the station being worked
// on.
class WorkerLane final : public StationLane {
 public:
  // `beforeFirstSession`: called before the worker makes its HTTP session (libcurl's global
  // set-up).
  explicit WorkerLane(std::function<void()> beforeFirstSession)
      : beforeFirstSession_(std::move(beforeFirstSession)) {}
  ~WorkerLane() override {
    session_.reset();
    link_.reset();
  }

  void Begin(StationSink& sink) { sink_ = &sink; }
  // The station's tunnel is not left held: a module serves one client at a time, and the
  // station's next phase may be another worker's.
  void End() {
    if (link_) link_->Disconnect();
    sink_ = nullptr;
  }

  CHalvexCtrl& Link() override {
    if (!link_) {
      link_ = std::make_unique<CHalvexCtrl>();
      link_->SetMessageHandler([this](const std::string& text, const std::string& caption) {
        if (sink_) sink_->Message(text, caption, MessageButtons::Ok, MessageIcon::Error);
      });
    }
    return *link_;
  }
  network::WebSession& Web() override {
    if (!session_) {
      if (beforeFirstSession_) beforeFirstSession_();
      session_ = std::make_unique<network::WebSession>();
    }
    return *session_;
  }

 private:
  std::function<void()> beforeFirstSession_;
  std::unique_ptr<CHalvexCtrl> link_;
  std::unique_ptr<network::WebSession> session_;
  StationSink* sink_ = nullptr;
};

}  // namespace

FleetRun::FleetRun(RunHost& host, std::vector<BaseStationRecord> stations, int phases)
    : host_(host),
      settings_(host.Settings()),
      stations_(std::move(stations)),
      suffixes_(Suffixes(stations_)),
      failed_(stations_.size(), 0),
      changed_(stations_.size(), 0),
      notStarted_(stations_.size(), 0),
      monitor_(host.Monitor()),
      jobs_(std::min<int>(
          host.Jobs(), static_cast<int>(std::max<std::size_t>(stations_.size(), std::size_t{1})))),
      phases_(std::max(phases, 1)),
      phasesDone_(stations_.size(), 0) {
  if (monitor_ && !stations_.empty()) monitor_->RunStarted(Progress());
}

FleetRun::FleetRun(RunHost& host, const BaseStationRecord* stations, std::size_t count, int phases)
    : FleetRun(host,
               stations ? std::vector<BaseStationRecord>(stations, stations + count)
                        : std::vector<BaseStationRecord>{},
               phases) {}

FleetRun::FleetRun(RunHost& host, const BaseStationRecord* stations, std::size_t count,
                   std::vector<std::string> phaseNames)
    : FleetRun(host, stations, count, static_cast<int>(phaseNames.size())) {
  phaseNames_ = std::move(phaseNames);
}

FleetRun::~FleetRun() {
  pool_.reset();  // the workers leave; their links and sessions go with them
  if (monitor_ && !stations_.empty()) {
    std::vector<StationOutcome> outcomes(stations_.size());
    for (std::size_t i = 0; i < stations_.size(); ++i)
      outcomes[i] = {stations_[i].addressText, !failed_[i] && !notStarted_[i], changed_[i] != 0};
    monitor_->StationsEnded(outcomes);
    monitor_->RunEnded(Progress());
  }
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

bool FleetRun::Phase(const StationWork& work, const std::vector<std::string>& sharedFiles) {
  ++phase_;
  done_ = 0;
  if (cancelled_) return false;
  if (stations_.empty()) return true;
  Show();
  return jobs_ <= 1 ? PhaseOnForm(work, sharedFiles) : PhaseOnWorkers(work);
}

bool FleetRun::PhaseOnForm(const StationWork& work, const std::vector<std::string>& sharedFiles) {
  FormLane lane(host_.Link());
  AnswerFiles shared;
  for (const std::string& name : sharedFiles) shared.Open(name, settings_.workingFolder + name);
  for (std::size_t i = 0; i < stations_.size(); ++i) {
    if (CancelAsked()) {
      cancelled_ = true;
      CancelRows();
      Show();
      return false;
    }
    StationHandle station(&stations_[i], i, lane, host_.Sink(), settings_, host_.State(),
                          AnswerFileNaming{settings_.workingFolder, "", &shared}, true);
    work(station);
    station.Finish();
    if (station.Failed()) failed_[i] = 1;
    if (station.Changed()) changed_[i] = 1;
    PhaseDone(i);
    ++done_;
    Show();
  }
  return true;
}

// The run's workers. Each has its own link object and HTTP session (in its lane) and takes the
// stations of a phase in list order; between phases it waits for the next one.
struct FleetRun::Pool {
  using Clock = std::chrono::steady_clock;

  std::mutex m;
  std::condition_variable work;      // workers: a phase to take stations from, a cancel, the end
  std::condition_variable finished;  // the form: a station's work has ended
  const StationWork* job = nullptr;  // the phase's work; null between phases
  StationState state;                // the form's state as the phase began
  std::size_t next = 0;              // the next station to start; stations start in list order
  bool stop = false;                 // cancelled: no further station starts
  bool quit = false;                 // the run ends: the workers leave
  std::vector<StationBlock> blocks;
  std::vector<char> complete;
  std::vector<char> failed;
  std::vector<char> changed;
  std::vector<Clock::time_point> notBefore;  // a station starts no earlier (its settle wait)
  std::vector<Clock::time_point> ended;
  std::vector<std::unique_ptr<halvex::SmallStackThread>> threads;
  // libcurl's global state, set up once a worker needs an HTTP session and kept until the
  // workers have gone.
  std::once_flag curlOnce;
  std::unique_ptr<network::CurlUse> curl;

  explicit Pool(std::size_t n)
      : blocks(n), complete(n, 0), failed(n, 0), changed(n, 0), notBefore(n), ended(n) {}

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

  void Worker(const FleetRun& run) {
    WorkerLane lane([this] {
      std::call_once(curlOnce, [this] { curl = std::make_unique<network::CurlUse>(); });
    });
    std::size_t i = 0;
    const StationWork* phaseWork = nullptr;
    while (Take(i, phaseWork)) {
      StationHandle station(
          &run.stations_[i], i, lane, blocks[i], run.settings_, state,
          AnswerFileNaming{run.settings_.workingFolder, run.suffixes_[i], nullptr}, false);
      lane.Begin(blocks[i]);
      RunGuarded(*phaseWork, station);
      station.Finish();
      lane.End();
      {
        std::lock_guard<std::mutex> hold(m);
        complete[i] = 1;
        failed[i] = station.Failed() ? 1 : 0;
        changed[i] = station.Changed() ? 1 : 0;
        ended[i] = Clock::now();
      }
      finished.notify_all();
    }
  }
};

void FleetRun::SettleBeforeNextPhase(std::chrono::milliseconds wait) {
  if (wait.count() <= 0) return;
  if (jobs_ <= 1 || ended_.empty()) {
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
      s.changed[i] = 0;
      // A station that ended the last phase early has waited part of its settle time already.
      s.notBefore[i] = settle_.count() > 0 && i < ended_.size() ? ended_[i] + settle_ : now;
    }
    settle_ = std::chrono::milliseconds(0);
    s.next = 0;
    s.stop = false;
    s.state = host_.State();
    s.job = &work;
  }
  if (s.threads.empty()) {
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(jobs_), n);
    s.threads.reserve(count);
    for (std::size_t t = 0; t < count; ++t) {
      auto thread = std::make_unique<halvex::SmallStackThread>();
      if (thread->Start([this, &s] { s.Worker(*this); })) s.threads.push_back(std::move(thread));
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
    const bool ok = PhaseOnForm(work, {});
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
      s.blocks[merged].Replay(host_.Sink());
      s.blocks[merged].Clear();
      if (s.failed[merged]) failed_[merged] = 1;
      if (s.changed[merged]) changed_[merged] = 1;
      PhaseDone(merged);
      ++done_;
    }
    Show();
    if (!cancelled_) {
      const bool painted = monitor_ && monitor_->Idle();
      if (!painted) host_.Sink().KeepPainting();
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
  if (cancelled_) CancelRows();
  Show();
  return !cancelled_;
}

void FleetRun::PhaseDone(std::size_t station) {
  if (phase_ >= 1 && phase_ <= 64) phasesDone_[station] |= std::uint64_t{1} << (phase_ - 1);
}

void FleetRun::CancelRows() {
  const int named = std::min(phases_, 64);
  for (std::size_t i = 0; i < stations_.size(); ++i) {
    // The phases this station did not do, this one and the later ones among them: a phase the
    // command left out was done by none.
    std::string left;
    bool some = false, all = true;
    for (int p = 0; p < named; ++p) {
      if (phasesDone_[i] & (std::uint64_t{1} << p)) {
        some = true;
        continue;
      }
      all = false;
      if (static_cast<std::size_t>(p) < phaseNames_.size())
        left += (left.empty() ? "" : ", ") + phaseNames_[static_cast<std::size_t>(p)];
    }
    if (all) continue;
    notStarted_[i] = 1;
    const std::string text = some && !left.empty() ? kNotDoneText + left : kNotStartedText;
    host_.Sink().AddRow(text, stations_[i].addressText, kNotStartedImage, RowKind::Failure);
  }
}

void RunOne(RunHost& host, const BaseStationRecord* station, const StationWork& work) {
  const RunSettings settings = host.Settings();
  FormLane lane(host.Link());
  StationHandle handle(station, 0, lane, host.Sink(), settings, host.State(),
                       AnswerFileNaming{settings.workingFolder, "", nullptr}, true);
  work(handle);
  handle.Finish();
}

}  // namespace qelta::fleet

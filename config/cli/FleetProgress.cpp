// Multi-station runs on the command line: the global option --jobs N, their progress on stderr
// (a line redrawn in place on a terminal, percentage lines otherwise) and SIGINT as the run's
// Cancel: no further station starts, running ones finish, the others are named as not started
// and the command ends with a failure status. Outside a run SIGINT ends the program as usual.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <ostream>

#include "cli/CliContext.h"

namespace {

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

constexpr std::size_t kPlainStepPercent = 10;

}  // namespace

CliFleetMonitor::CliFleetMonitor(std::ostream& err, bool terminal, std::function<void()> wrote)
    : err_(err), terminal_(terminal), wrote_(std::move(wrote)) {}

CliFleetMonitor::~CliFleetMonitor() { RestoreInterrupt(); }

void CliFleetMonitor::RestoreInterrupt() {
  if (!installed_) return;
  sigaction(SIGINT, &previous_, nullptr);
  installed_ = false;
}

void CliFleetMonitor::RunStarted(const qelta::fleet::FleetProgress& p) {
  interrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // A second Ctrl-C ends the program at once.
  action.sa_flags = SA_RESETHAND;
  installed_ = sigaction(SIGINT, &action, &previous_) == 0;
  lastPercent_ = -1;
  lastDone_ = static_cast<std::size_t>(-1);
  lastPhase_ = 0;
  Progress(p);
}

void CliFleetMonitor::Progress(const qelta::fleet::FleetProgress& p) {
  if (p.total == 0) return;
  const int percent = static_cast<int>(p.done * 100 / p.total);
  std::string step;
  if (p.phases > 1) step = "step " + std::to_string(p.phase) + "/" + std::to_string(p.phases) + " ";
  const std::string failures =
      std::to_string(p.failures) + (p.failures == 1 ? " failure" : " failures");
  if (terminal_) {
    if (p.done == lastDone_ && p.phase == lastPhase_ && !p.cancelled) return;
    lastDone_ = p.done;
    lastPhase_ = p.phase;
    err_ << "\r" << step << "stations " << p.done << '/' << p.total << ", " << failures
         << (p.cancelled ? ", cancelled" : "") << "   " << std::flush;
    drawn_ = true;
    if (wrote_) wrote_();
    return;
  }
  if (p.phase != lastPhase_) lastPercent_ = -1;
  lastPhase_ = p.phase;
  const bool due = lastPercent_ < 0 ||
                   percent >= lastPercent_ + static_cast<int>(kPlainStepPercent) ||
                   (percent == 100 && lastPercent_ != 100);
  if (!due) return;
  lastPercent_ = percent;
  err_ << step << "stations: " << percent << "% (" << p.done << '/' << p.total << "), " << failures
       << '\n'
       << std::flush;
  if (wrote_) wrote_();
}

void CliFleetMonitor::StationsEnded(const std::vector<qelta::fleet::StationOutcome>& outcomes) {
  for (const auto& o : outcomes) {
    auto it = std::find_if(outcomes_.begin(), outcomes_.end(),
                           [&o](const auto& kept) { return kept.station == o.station; });
    if (it == outcomes_.end()) {
      outcomes_.push_back(o);
    } else {
      it->ok = it->ok && o.ok;
      it->changed = it->changed || o.changed;
    }
  }
}

void PrintStationResultsAfterRows(CliContext& c) {
  if (c.format != qelta::cli::OutputFormat::Json) return;
  c.afterRows = [](CliContext& ctx) {
    if (!ctx.fleetMonitor) return;
    for (const auto& o : ctx.fleetMonitor->Outcomes())
      ctx.out << "{\"station_result\":{\"station\":" << qelta::cli::JsonString(o.station)
              << ",\"ok\":" << (o.ok ? "true" : "false")
              << ",\"changed\":" << (o.changed ? "true" : "false") << "}}\n";
    ctx.out.flush();
  };
}

void CliFleetMonitor::RunEnded(const qelta::fleet::FleetProgress& p) {
  RestoreInterrupt();
  if (terminal_ && drawn_) {
    err_ << '\n' << std::flush;
    if (wrote_) wrote_();
  }
  drawn_ = false;
  if (p.cancelled) {
    err_ << "stations: cancelled\n" << std::flush;
    if (wrote_) wrote_();
  }
}

bool CliFleetMonitor::CancelRequested() { return interrupted != 0; }

void AddFleetOptions(CLI::App& app, int& jobs) {
  app.add_option("--jobs", jobs,
                 "Work on up to N base stations at once in multi-station commands (1-64; default: "
                 "the setting ParallelStations, else 1)")
      ->check(CLI::Range(qelta::fleet::kMinJobs, qelta::fleet::kMaxJobs));
}

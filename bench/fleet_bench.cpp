// Many base stations at once: 64 simulated stations (qelta-sim in a child process, so that this
// process's CPU time is the configurator's alone), tunnel answers paced at 19200 baud after the
// device's answer delay and forwarded by the module once the line is idle for 5 ms, each web
// answer 30 ms late. "Upload all defaults" and "Set comm IDs" run
// one station at a time and 8, 16 and 32 at once; for each the wall time, the speed-up against
// one at a time, the CPU time per station (getrusage) and whether the rows matched are printed.
//
// Run it inside the private network namespace: scripts/netns build/bin/fleet_bench
// To profile one command at chosen numbers of stations at once (the first number's rows are the
// ones compared): fleet_bench [defaults|comm-ids] [N...]
#include <arpa/inet.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/BaseStationListOps.h"
#include "app/QeltaConfigView.h"
#include "core/SettingsStore.h"
#include "fleet/FleetSettings.h"
#include "ui/ScriptedUi.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kStations = 64;
const std::vector<int> kJobs = {1, 8, 16, 32};

class NoBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/true %u"}; }
};

// qelta-sim with the stations; ends it on destruction.
class Simulators {
 public:
  explicit Simulators(const std::string& program) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      const std::string count = std::to_string(kStations);
      ::execl(program.c_str(), program.c_str(), "--modules", count.c_str(), "--module-web",
              "--module-web-delay", "30", "--module-baud", "19200", "--module-forward-idle", "5",
              "--module-channel", "3", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    // Ready once every module and web interface has said so.
    int lines = 0;
    char c;
    while (lines < 2 * kStations && ::read(out[0], &c, 1) == 1) lines += c == '\n';
    ::close(out[0]);
    ready_ = lines == 2 * kStations;
  }
  ~Simulators() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Ready() const { return ready_; }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
  double seconds = 0;
  double cpuPerStation = 0;
  std::vector<std::string> rows;
};

class Bench {
 public:
  Bench(const std::string& root) : root_(root) {
    fs::create_directories(root + "/bin");
    std::ofstream(root + "/defaults.pcg") << "DATABLOCK:30\n1, 2, 3, 4, 5, 6, 7, 8,\n"
                                             "DATABLOCK_END:\nSYSTEM:12:1\nCHANNEL:4\nEND:\n";
    settings_ = root + "/QeltaConfigurator.conf";
    SettingsStore store(RealFileAccess(), settings_);
    store.Create();
    store.WriteNumber("UIService", 1);
    store.WriteNumber("UIProduction", 1);
    store.WriteNumber("LastRadioUsed", 2);
    FormEnvironment env;
    env.browserLookup = &browser_;
    env.settingsFile = settings_;
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    form_ = CreateMainForm(ui_, env);
    form_->InitialiseForm();
  }

  bool Discover() {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
      {
        qelta::network::NamedMutexGuard hold(form_->directory().ListLock(), 1000);
        if (form_->directory().Table().count >= kStations) break;
      }
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    qelta::network::StopDiscovery(*form_);
    auto& table = form_->directory().Table();
    std::sort(table.records.begin(), table.records.begin() + table.count,
              [](const BaseStationRecord& a, const BaseStationRecord& b) {
                return ntohl(a.address) < ntohl(b.address);
              });
    return true;
  }

  Result Run(int command, int jobs) {
    // The same start every time: every station selected in the list, the same next comm ID.
    SettingsStore(RealFileAccess(), settings_).WriteNumber("CommID", 10000);
    form_->SetControlText(ids::kCommIdField, "10000");
    form_->offeredCommId = 10000;
    OutputList& list = form_->outputList();
    list.DeleteAllRows();
    auto& table = form_->directory().Table();
    for (uint32_t i = 0; i < table.count; ++i) {
      const int row = list.AddRow(qelta::network::BaseStationRowName(table.records[i]),
                                  qelta::network::BaseStationRowValue(table.records[i]), 4);
      list.SetItem(row, &table.records[i]);
      list.SetSelected(row, true);
    }
    form_->listShowsBaseStations = true;
    form_->OnListClick();
    const int first = list.RowCount();
    if (command == ids::kCmdUploadAllDefaults) {
      ui_.QueueFileDialogResult(root_ + "/defaults.pcg");
      qelta::ScriptedUi::DialogAnswer browse;
      browse.press = {"browse"};
      ui_.QueueDialogAnswer("CDefaultUploadDlg", browse);
    } else {
      ui_.QueueDialogAnswer("CMultiCommIdDlg", {});
    }
    qelta::fleet::SetJobsOverride(form_->fleet, jobs);
    Result r;
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    form_->RunCommand(command);
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpuPerStation = (CpuSeconds() - cpu0) / kStations;
    for (int i = first; i < list.RowCount(); ++i) {
      const OutputRow& row = list.Row(i);
      std::string name = row.text[0];
      if (name.rfind("Time: ", 0) == 0) name = "Time:";
      const std::string more = row.text[2].rfind("Avg. ", 0) == 0 ? "Avg." : row.text[2];
      r.rows.push_back(name + "|" + row.text[1] + "|" + more + "|" + std::to_string(row.image));
    }
    return r;
  }

 private:
  std::string root_;
  std::string settings_;
  NoBrowser browser_;
  qelta::ScriptedUi ui_;
  std::unique_ptr<CQeltaConfigView> form_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  std::vector<int> jobsList;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "defaults" || arg == "comm-ids") {
      only = arg;
    } else if (const int n = std::atoi(arg.c_str()); n >= 1 && n <= 64) {
      jobsList.push_back(n);
    } else {
      std::fprintf(stderr, "usage: fleet_bench [defaults|comm-ids] [N...] (N: 1-64)\n");
      return 2;
    }
  }
  if (jobsList.empty()) jobsList = kJobs;
  const char* inside = std::getenv("QELTA_NETNS");
  if (!inside || std::string(inside) != "1") {
    std::fprintf(stderr, "fleet_bench: run it inside scripts/netns\n");
    return 2;
  }
  const fs::path self = fs::read_symlink("/proc/self/exe");
  Simulators sims((self.parent_path() / "qelta-sim").string());
  if (!sims.Ready()) {
    std::fprintf(stderr, "fleet_bench: the simulated stations did not start\n");
    return 1;
  }
  std::string root = (fs::temp_directory_path() / "qelta-fleetbench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  int status = 0;
  {
    Bench bench(root);
    if (!bench.Discover()) {
      std::fprintf(stderr, "fleet_bench: not every station was discovered\n");
      return 1;
    }
    std::printf("%d stations, tunnel at 19200 baud, web answers 30 ms late\n", kStations);
    const std::tuple<const char*, const char*, int> commands[] = {
        {"Upload all defaults", "defaults", ids::kCmdUploadAllDefaults},
        {"Set comm IDs", "comm-ids", ids::kSetNewCommIdButton}};
    for (const auto& [name, key, command] : commands) {
      if (!only.empty() && only != key) continue;
      std::printf("\n%s\n  %-5s %9s %9s %14s %7s  %s\n", name, "N", "wall s", "speed-up",
                  "CPU ms/station", "silent", "rows");
      Result one;
      for (std::size_t k = 0; k < jobsList.size(); ++k) {
        const int jobs = jobsList[k];
        const Result r = bench.Run(command, jobs);
        if (k == 0) one = r;
        const bool same = r.rows == one.rows;
        if (!same) {
          status = 1;
          for (std::size_t i = 0; i < std::max(r.rows.size(), one.rows.size()); ++i) {
            const std::string a = i < one.rows.size() ? one.rows[i] : "<none>";
            const std::string b = i < r.rows.size() ? r.rows[i] : "<none>";
            if (a != b && std::getenv("FLEET_BENCH_DIFF")) {
              for (std::size_t k = i >= 6 ? i - 6 : 0; k < i + 3 && k < one.rows.size(); ++k)
                std::printf("    row %zu: %s\n        vs %s\n", k, one.rows[k].c_str(),
                            k < r.rows.size() ? r.rows[k].c_str() : "");
              break;
            }
          }
        }
        // Stations that missed their 100 ms probe (a loaded machine) make rows differ.
        const auto silent = std::count_if(r.rows.begin(), r.rows.end(), [](const std::string& row) {
          return row.find("|No answer ") != std::string::npos;
        });
        std::printf("  %-5d %9.2f %8.1fx %14.1f %7ld  %s\n", jobs, r.seconds,
                    one.seconds / r.seconds, r.cpuPerStation * 1000.0, static_cast<long>(silent),
                    same ? "same as N=1" : "DIFFER");
        std::fflush(stdout);
      }
    }
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}

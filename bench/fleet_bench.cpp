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
//
// End to end (fleet_bench e2e [--stations S] [N...], default 64 stations, N = 1 and 16): what the
// user waits for, from the start of the command line's own process (qeltaconfig-cli as a child)
// to its last row, discovery and the station list included: "bs-list", "bs-view" of one station
// and "bs-eth-defaults --all". For each: the wall time, the speed-up against the first N, the
// child's CPU time per station worked on, its peak RSS and the most threads and descriptors it
// held at once (sampled from /proc every 5 ms), and whether its rows (times aside) matched the
// first N's.
#include <arpa/inet.h>
#include <fcntl.h>
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
  Simulators(const std::string& program, int stations) {
    int out[2];
    if (::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      const std::string count = std::to_string(stations);
      ::execl(program.c_str(), program.c_str(), "--modules", count.c_str(), "--module-web",
              "--module-web-delay", "30", "--module-baud", "19200", "--module-forward-idle", "5",
              "--module-channel", "3", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    // Ready once every module and web interface has said so.
    int lines = 0;
    char c;
    while (lines < 2 * stations && ::read(out[0], &c, 1) == 1) lines += c == '\n';
    ::close(out[0]);
    ready_ = lines == 2 * stations;
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

// ---- End to end: the command line's own process -------------------------------------------

struct ChildRun {
  double seconds = 0;
  double cpuSeconds = 0;
  long peakRssKb = 0;
  int threads = 0;
  int descriptors = 0;
  int status = -1;
  std::vector<std::string> rows;
};

// The number after "Threads:" in /proc/PID/status; 0 once the process is gone.
int ThreadsOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
  return 0;
}

int DescriptorsOf(pid_t pid) {
  std::error_code error;
  int n = 0;
  for (fs::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && it != end; it.increment(error))
    ++n;
  return n;
}

// A row as the comparison takes it: measured times and the time of day left out.
std::string ComparableRow(std::string row) {
  if (row.rfind("Time: ", 0) == 0) return "Time:";
  const auto avg = row.find("Avg. ");
  if (avg != std::string::npos) row.erase(avg);
  return row;
}

ChildRun RunCli(const std::string& program, const std::string& outFile,
                const std::vector<std::string>& args) {
  ChildRun r;
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = ::open("/dev/null", O_WRONLY);
    if (out < 0 || null < 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(null, 2);
    ::close(out);
    ::close(null);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  if (pid < 0) return r;
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = ::wait4(pid, &status, WNOHANG, &usage);
    if (done == pid) break;
    r.threads = std::max(r.threads, ThreadsOf(pid));
    r.descriptors = std::max(r.descriptors, DescriptorsOf(pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  r.peakRssKb = usage.ru_maxrss;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream in(outFile);
  for (std::string line; std::getline(in, line);) r.rows.push_back(ComparableRow(line));
  return r;
}

int EndToEnd(const std::string& binDir, int stations, const std::vector<int>& jobsList) {
  Simulators sims(binDir + "/qelta-sim", stations);
  if (!sims.Ready()) {
    std::fprintf(stderr, "fleet_bench: the simulated stations did not start\n");
    return 1;
  }
  std::string root = (fs::temp_directory_path() / "qelta-fleetbench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 1;
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  const std::string settings = root + "/QeltaConfigurator.conf";
  {
    SettingsStore store(RealFileAccess(), settings);
    store.Create();
  }
  const std::string program = binDir + "/qeltaconfig-cli";
  // A station in the middle of the address range.
  const std::string middle = "127.0.0." + std::to_string(2 + stations / 2);
  struct Command {
    const char* title;
    std::vector<std::string> args;
    int worked;  // stations the command works on
  };
  const std::vector<Command> commands = {
      {"bs-list", {"bs-list"}, stations},
      {"bs-view one station", {"bs-view", middle}, 1},
      {"bs-eth-defaults --all", {"bs-eth-defaults", "--all"}, stations},
  };
  std::printf(
      "%d stations, tunnel at 19200 baud, web answers 30 ms late; qeltaconfig-cli from "
      "its start to its last row\n",
      stations);
  int status = 0;
  for (const Command& command : commands) {
    std::printf("\n%s\n  %-5s %8s %9s %14s %12s %8s %5s  %s\n", command.title, "N", "wall s",
                "speed-up", "CPU ms/station", "peak RSS MB", "threads", "fds", "rows");
    ChildRun first;
    for (std::size_t k = 0; k < jobsList.size(); ++k) {
      std::vector<std::string> args = {"--settings", settings, "--output",
                                       "rows",       "--jobs", std::to_string(jobsList[k])};
      args.insert(args.end(), command.args.begin(), command.args.end());
      const ChildRun r = RunCli(program, root + "/out.txt", args);
      if (k == 0) first = r;
      const bool same = r.rows == first.rows && r.status == first.status;
      if (!same || r.status > 1) status = 1;
      std::printf("  %-5d %8.2f %8.1fx %14.1f %12.1f %8d %5d  %s%s\n", jobsList[k], r.seconds,
                  first.seconds / r.seconds, r.cpuSeconds * 1000.0 / command.worked,
                  static_cast<double>(r.peakRssKb) / 1024.0, r.threads, r.descriptors,
                  same ? "same as the first" : "DIFFER",
                  r.status == 0 ? "" : (" (exit " + std::to_string(r.status) + ")").c_str());
      std::fflush(stdout);
    }
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  std::vector<int> jobsList;
  int stations = kStations;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--stations" && i + 1 < argc) {
      stations = std::atoi(argv[++i]);
      if (stations < 1 || stations > static_cast<int>(qelta::network::kMaxBaseStations)) {
        std::fprintf(stderr, "fleet_bench: --stations takes 1 to 256\n");
        return 2;
      }
    } else if (arg == "defaults" || arg == "comm-ids" || arg == "e2e") {
      only = arg;
    } else if (const int n = std::atoi(arg.c_str()); n >= 1 && n <= 64) {
      jobsList.push_back(n);
    } else {
      std::fprintf(stderr,
                   "usage: fleet_bench [defaults|comm-ids] [N...] | fleet_bench e2e [--stations S] "
                   "[N...] (N: 1-64)\n");
      return 2;
    }
  }
  if (jobsList.empty()) jobsList = only == "e2e" ? std::vector<int>{1, 16} : kJobs;
  const char* inside = std::getenv("QELTA_NETNS");
  if (!inside || std::string(inside) != "1") {
    std::fprintf(stderr, "fleet_bench: run it inside scripts/netns\n");
    return 2;
  }
  const fs::path self = fs::read_symlink("/proc/self/exe");
  if (only == "e2e") return EndToEnd(self.parent_path().string(), stations, jobsList);
  Simulators sims((self.parent_path() / "qelta-sim").string(), kStations);
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

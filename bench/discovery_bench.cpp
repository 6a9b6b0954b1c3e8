// Discovery timings against simulated modules on loopback:
//  - the length of one discovery cycle against its nominal 350 ms (50 ms pause, three 100 ms
//    receive time-outs after the last answer);
//  - the CPU time the discovery thread costs while it runs with nobody answering;
//  - the time from StartDiscovery to a table of 256 modules.
// Run inside scripts/netns only.

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "module/SimulatedModule.h"
#include "network/BaseStationDiscovery.h"

namespace {

using namespace qelta;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void CycleLength(size_t modules, int rounds) {
  sim::ModuleHost host;
  for (size_t i = 0; i < modules; ++i) {
    sim::ModuleOptions o;
    o.identity = sim::SampleIdentity(i);
    host.AddModule(o);
  }
  if (!host.Start()) {
    std::printf("cannot start the modules\n");
    return;
  }
  network::BaseStationDiscovery d;
  std::vector<double> took;
  size_t heard = 0;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    heard = d.RunDiscoveryCycle();
    took.push_back(Ms(Clock::now() - start));
  }
  std::sort(took.begin(), took.end());
  double sum = 0;
  for (double t : took) sum += t;
  std::printf(
      "cycle with %3zu modules (%3zu heard): mean %7.1f ms  min %7.1f  max %7.1f  "
      "nominal 350.0 (%+.1f)%s\n",
      modules, heard, sum / took.size(), took.front(), took.back(), sum / took.size() - 350.0,
      heard == network::kMaxBaseStations ? "  listening ends at a full buffer" : "");
}

void IdleCpu(int seconds) {
  network::BaseStationDiscovery d;
  const double cpu0 = CpuMs();
  const auto wall0 = Clock::now();
  d.StartDiscovery();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  d.StopDiscovery();
  const double cpu = CpuMs() - cpu0;
  const double wall = Ms(Clock::now() - wall0);
  std::printf(
      "idle discovery thread: %.2f ms CPU over %.0f ms (%.3f %% of one core), %llu cycles\n", cpu,
      wall, 100.0 * cpu / wall, static_cast<unsigned long long>(d.CycleCount()));
}

void TimeToFullTable() {
  sim::ModuleHost host;
  for (size_t i = 0; i < 256; ++i) {
    sim::ModuleOptions o;
    o.identity = sim::SampleIdentity(i);
    host.AddModule(o);
  }
  if (!host.Start()) return;
  std::atomic<bool> full{false};
  Clock::time_point fullAt{};
  network::DiscoveryHooks hooks;
  hooks.statusText = [&](const std::string& text) {
    if (!full && text == "Base stations: 256") {
      fullAt = Clock::now();
      full = true;
    }
  };
  network::BaseStationDiscovery d(hooks);
  const auto start = Clock::now();
  d.StartDiscovery();
  while (!full && Clock::now() - start < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  d.StopDiscovery();
  if (full) {
    std::printf("start to a table of 256 modules: %.1f ms\n", Ms(fullAt - start));
  } else {
    std::printf("start to a table of 256 modules: not reached in 10 s\n");
  }
}

}  // namespace

int main() {
  const char* inside = std::getenv("QELTA_NETNS");
  if (!inside || std::string(inside) != "1") {
    std::fprintf(stderr, "discovery_bench: run me inside scripts/netns\n");
    return 2;
  }
  CycleLength(0, 10);
  CycleLength(20, 10);
  CycleLength(256, 5);
  IdleCpu(5);
  TimeToFullTable();
  return 0;
}

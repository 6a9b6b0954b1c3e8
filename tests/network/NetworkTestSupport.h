// Shared helpers of the network suites: simulated modules on loopback and a recorder of what the
// discovery component shows to the user.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "module/SimulatedModule.h"
#include "network/BaseStationDiscovery.h"

namespace qelta::network::test {

struct RecordedRow {
  std::string column[3];
  int image = 0;
};

// Records rows, message boxes and status texts as a form would show them.
class Recorder {
 public:
  DiscoveryHooks Hooks() {
    DiscoveryHooks h;
    h.statusText = [this](const std::string& t) {
      std::lock_guard<std::mutex> hold(lock);
      statuses.push_back(t);
    };
    h.addRow = [this](const std::string& a, const std::string& b, int image) {
      rows.push_back({{a, b, ""}, image});
      return static_cast<int>(rows.size()) - 1;
    };
    h.setRowText = [this](int row, int column, const std::string& t) {
      rows.at(static_cast<size_t>(row)).column[column] = t;
    };
    h.errorBox = [this](const std::string& caption, const std::string& text) {
      boxes.push_back(caption + "|" + text);
    };
    return h;
  }
  std::vector<std::string> Statuses() {
    std::lock_guard<std::mutex> hold(lock);
    return statuses;
  }

  std::vector<RecordedRow> rows;
  std::vector<std::string> boxes;

 private:
  std::mutex lock;
  std::vector<std::string> statuses;
};

inline void RequireNamespace() {
  const char* inside = std::getenv("QELTA_NETNS");
  ASSERT_TRUE(inside && std::string(inside) == "1") << "run inside scripts/netns";
}

// Starts a host with n sample modules (127.0.0.2, 127.0.0.3, ...).
inline void StartModules(sim::ModuleHost& host, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    sim::ModuleOptions o;
    o.identity = sim::SampleIdentity(i);
    host.AddModule(o);
  }
  std::string error;
  ASSERT_TRUE(host.Start(&error)) << error;
}

inline uint32_t NetAddress(const std::string& dotted) {
  uint32_t a = 0;
  TextToAddress(dotted, a);
  return a;
}

// Polls a condition until it holds or the time is up.
template <typename Condition>
bool WaitFor(Condition condition, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace qelta::network::test

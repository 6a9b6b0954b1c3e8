// Simulated Digi Connect ME Ethernet modules: each answers discovery requests from its own
// 127.0.0.x (or other local) address, applies static-IP, DHCP and reboot requests that name its
// MAC with the right password (it then falls silent for a moment and comes back with its new
// settings), and tunnels TCP port 2101 to a simulated base station. One ModuleHost runs any
// number of modules on one thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "module/ModuleDatagrams.h"

namespace qelta::sim {

class SimDevice;

struct ModuleOptions {
  ModuleIdentity identity;
  std::string password = kModuleDefaultPassword;
  bool silent = false;      // answers nothing at all (switched off)
  bool tcpRefused = false;  // the tunnel refuses connections
  // Another client holds the tunnel: new connections are refused (the listener stays closed).
  bool tunnelHeld = false;
  // Answers discovery requests to the group only, never one sent to its own address: a station
  // that discovery lists but that fails every probe.
  bool probeSilent = false;
  MalformedAnswer malformed = MalformedAnswer::kNone;
  int restartMs = 1500;  // silence after a configuration or reboot request
  // TCP forwarding of the serial line: 0 sends every byte on at once; otherwise the bytes are
  // collected and sent once the line was idle this long or 300 of them are waiting (the module's
  // "forward on idle", as its default serial settings set it: 5 ms).
  int forwardIdleMs = 0;
  // The base station behind the tunnel (its memory lasts across connections); null: a line that
  // never answers.
  std::shared_ptr<SimDevice> baseStation;
};

// Counters of what a module has seen.
struct ModuleStats {
  uint64_t discoveryAnswers = 0;
  uint64_t configurationsApplied = 0;
  uint64_t configurationsRejected = 0;
  uint64_t restarts = 0;
  uint64_t tunnelConnections = 0;
  uint64_t tunnelRefusals = 0;  // connections turned away while a client held the tunnel
};

class ModuleHost {
 public:
  ModuleHost();
  // Also takes the addresses that modules were moved to off the loopback interface again, those
  // that the host put there: nothing of the simulation stays in the namespace.
  ~ModuleHost();
  ModuleHost(const ModuleHost&) = delete;
  ModuleHost& operator=(const ModuleHost&) = delete;

  // Adds a module (also while running); answers its index.
  size_t AddModule(ModuleOptions options);
  // Opens the group socket and runs the host's thread. False (with a reason) when the group
  // cannot be joined, for example outside the private network namespace.
  bool Start(std::string* error = nullptr);
  void Stop();

  size_t ModuleCount() const;
  // Switches a module off (silent, tunnel closed) or on again.
  void SetSilent(size_t index, bool silent);
  void SetTunnelHeld(size_t index, bool held);
  void SetMalformed(size_t index, MalformedAnswer kind);
  ModuleIdentity Identity(size_t index) const;
  ModuleStats Stats(size_t index) const;
  std::shared_ptr<SimDevice> BaseStation(size_t index) const;
  // True while the module is restarting after a configuration or reboot request.
  bool Restarting(size_t index) const;
  // Restarts a module as a reboot request does (its web interface's reboot form uses this).
  void RestartModule(size_t index);
  // The host's thread stops serving every module, as a module's processor does while busy
  // elsewhere: connections wait in the listen backlog and datagrams in their sockets until it is
  // resumed. Suspend returns once the thread has stopped.
  void Suspend();
  void Resume();
  // A module's sockets are open at its current address (false while restarting or when its
  // address cannot be used here).
  bool Online(size_t index) const;
  // Called (on the host's thread, without its lock) when a configuration request gave a module
  // another address, so that whatever else serves that module (its web interface) follows it.
  void SetAddressHook(std::function<void(size_t index, const ModuleIdentity& identity)> hook);

  struct Module;

 private:
  void Run();
  void Wake();

  mutable std::mutex lock_;
  std::vector<std::unique_ptr<Module>> modules_;
  std::function<void(size_t, const ModuleIdentity&)> addressHook_;
  int groupSocket_ = -1;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  // Suspend and Resume: asked for, and taken up by the thread (under lock_).
  bool suspend_ = false;
  bool suspended_ = false;
  std::condition_variable suspendChanged_;
};

// Sample identities: module i of a set gets 127.0.0.(i + 2) (wrapping into 127.0.1.x and on),
// the MAC 00-40-9D-xx-yy-zz with i in its last bytes and the name "BS-<i+1>".
ModuleIdentity SampleIdentity(size_t i);

// Host order helpers for dotted text.
bool ParseDottedAddress(const std::string& text, uint32_t& hostOrder);
std::string DottedAddress(uint32_t hostOrder);

// Makes an address usable on the loopback interface (a /32 alias) so that a module can take it.
// Only inside the private network namespace (QELTA_NETNS=1); false otherwise or on failure.
// `added` tells whether this call put the address there (not 127/8, not there before): only such
// an address is the caller's to remove again.
bool AddLoopbackAddress(uint32_t hostOrder, std::string* error = nullptr, bool* added = nullptr);
// Takes an address off the loopback interface (an address that is not there is fine).
bool RemoveLoopbackAddress(uint32_t hostOrder, std::string* error = nullptr);

}  // namespace qelta::sim

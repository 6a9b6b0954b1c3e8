// The discovery thread and the shared base station table. The main form holds one of these: the
// thread sends a discovery request every cycle, listens for the modules' answers and rebuilds the
// table under the named lock "MTX_AddBaseStation", leaving it alone while the list shows it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "network/BaseStationRecord.h"
#include "network/DiscoveryProtocol.h"
#include "network/NamedMutex.h"

namespace qelta::network {

inline constexpr const char* kListLockName = "MTX_AddBaseStation";
inline constexpr int kDiscoveryIntervalMs = 500;
inline constexpr int kReceiveTimeoutMs = 100;
inline constexpr int kUpdateLockWaitMs = 200;
inline constexpr int kStopWaitMs = 1000;

inline constexpr const char* kDiscoveryStatusInitial = "Base station discovery";

// What the component needs from the form. Every hook may be left empty.
struct DiscoveryHooks {
  // The status label's text; called on the discovery thread (a GUI marshals it to its thread).
  std::function<void(const std::string&)> statusText;
  // Appends an output row (column 0, column 1, image) and answers its index.
  std::function<int(const std::string&, const std::string&, int)> addRow;
  // Sets one column of a row.
  std::function<void(int row, int column, const std::string&)> setRowText;
  // A modal error message (caption, text).
  std::function<void(const std::string&, const std::string&)> errorBox;
  // Where the form keeps the flags the thread reads (the list shows the table; leave out
  // 169.x.x.x); without them the component's own flags count. Called on the discovery thread.
  std::function<bool()> listShowsBaseStations;
  std::function<bool()> ignoreTempAddresses;
};

class BaseStationDiscovery {
 public:
  explicit BaseStationDiscovery(DiscoveryHooks hooks = {});
  ~BaseStationDiscovery();
  BaseStationDiscovery(const BaseStationDiscovery&) = delete;
  BaseStationDiscovery& operator=(const BaseStationDiscovery&) = delete;

  // Zeroes the table and the silent list, clears the flags, sets up libcurl's global state and
  // starts the thread. A second call while the thread runs does nothing.
  void StartDiscovery();
  // Asks the thread to end and waits for it at most 1000 ms. A thread that has not ended by then
  // is left to finish on its own: it keeps its own share of the state and no longer calls the
  // hooks, so nothing it does afterwards reaches the form.
  void StopDiscovery();
  bool Running() const;

  // Rebuilds the table from one cycle's answers (see the thread); false when the lock could not
  // be taken within 200 ms, in which case the answers are dropped.
  bool UpdateBaseStationList(const DiscoveryResponse* responses, size_t count);
  // One discovery cycle as the thread runs it: request, listen, update. Answers the number of
  // answers heard. Used by the thread; exposed for tests and benchmarks.
  size_t RunDiscoveryCycle();

  // True when the module at address (network order) answers a discovery request within 100 ms.
  static bool ProbeBaseStation(uint32_t address);
  // Sends one datagram (a configuration or reboot request) to the modules' group, port 2362, from
  // a fresh socket; no answer is read. False when it could not be sent.
  static bool SendToModules(const uint8_t* data, size_t length);
  // False when the station answers; otherwise remembers it in the silent list and answers true.
  bool CheckPresence(const BaseStationRecord* record);
  // The silent list's part of CheckPresence, for a probe made elsewhere (a worker thread): a
  // station already listed is not listed twice, and a full list starts over.
  void RememberSilent(const BaseStationRecord& record);
  // One row per silent station, then empties the silent list.
  void ReportSilentBaseStations(const std::string& suffix);
  // True when the station answers a probe; otherwise tells the user and answers false.
  bool ConfirmResponding(const BaseStationRecord* record);

  // The table; read or change it only while holding ListLock().
  BaseStationList& Table();
  NamedMutex& ListLock();
  SilentList& Silent();
  std::string StatusText() const;
  void SetStatusText(const std::string& text);
  void SetHooks(DiscoveryHooks hooks);

  // Set while the list shows base station rows: the thread leaves the table unchanged.
  std::atomic<int32_t>& ListShowsBaseStations();
  // Modules at 169.x.x.x are left out of the table while this is set ("IgnoreNetTempIP").
  void SetIgnoreTempAddresses(bool ignore);
  bool IgnoreTempAddresses() const;
  // Cycles completed since start (for tests and benchmarks).
  uint64_t CycleCount() const;

  // The modules at these addresses (network order) as they answer the running discovery: waits
  // until every one of them has answered (in the cycle under way or the last one), without
  // waiting for the cycle's end; a station that stays silent is waited for until the cycle under
  // way has ended, as long as a wait for the table, never longer than `wait`. The answers are
  // the records the table would get, in the order the addresses are given (a module answering
  // twice in one cycle comes twice, as in the table); an address that did not answer has none.
  std::vector<BaseStationRecord> AwaitStations(const std::vector<uint32_t>& addresses,
                                               std::chrono::milliseconds wait);

  struct State;

 private:
  std::shared_ptr<State> state_;
  // The hooks as last set: a start after a stop that had to leave its thread behind gives them to
  // the fresh state (the thread left behind keeps none).
  DiscoveryHooks hooks_;
  std::thread thread_;
  bool curlReady_ = false;
  SilentList silent_;
};

}  // namespace qelta::network

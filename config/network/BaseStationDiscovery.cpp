#include "network/BaseStationDiscovery.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <vector>

#include "network/CurlGlobal.h"
#include "network/UdpSocket.h"

namespace qelta::network {

// Everything the discovery thread touches. The thread holds its own share, so a thread that
// outlives StopDiscovery's wait never reaches freed memory.
struct BaseStationDiscovery::State {
  State() : listLock(kListLockName) {}

  BaseStationList table;
  NamedMutex listLock;
  std::atomic<int32_t> stopDiscovery{0};
  std::atomic<int32_t> discoveryEnded{0};
  std::atomic<int32_t> listShowsBaseStations{0};
  std::atomic<int32_t> ignoreTempAddresses{0};
  std::atomic<uint64_t> cycles{0};
  int discoveryIntervalMs = kDiscoveryIntervalMs;

  // The answers of the cycle under way, as the table would list them, for those waiting on
  // particular stations; emptied as each cycle sends its request.
  std::mutex heardLock;
  std::condition_variable heardChanged;
  std::vector<BaseStationRecord> heard;

  mutable std::mutex hooksLock;  // guards hooks and status
  DiscoveryHooks hooks;
  std::string status = kDiscoveryStatusInitial;

  void PublishStatus(const std::string& text) {
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard<std::mutex> hold(hooksLock);
      status = text;
      hook = hooks.statusText;
    }
    if (hook) hook(text);
  }

  // The flags as the form keeps them; asked under the hooks' lock, so that nothing reaches the
  // form once StopDiscovery has let go of it.
  void ReadFlags(bool& frozen, bool& ignoreTemp) {
    std::lock_guard<std::mutex> hold(hooksLock);
    frozen = hooks.listShowsBaseStations ? hooks.listShowsBaseStations()
                                         : listShowsBaseStations.load() != 0;
    ignoreTemp =
        hooks.ignoreTempAddresses ? hooks.ignoreTempAddresses() : ignoreTempAddresses.load() != 0;
  }

  bool Update(const DiscoveryResponse* responses, size_t count);
  size_t Cycle();
};

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t GroupAddress() {
  uint32_t a = 0;
  TextToAddress(kDiscoveryGroup, a);
  return a;
}

void DiscoveryThread(std::shared_ptr<BaseStationDiscovery::State> s) {
  while (!s->stopDiscovery.load()) {
    s->Cycle();
    // The interval counts from the end of the cycle, checked in steps of 50 ms.
    for (int waited = 0; waited < s->discoveryIntervalMs && !s->stopDiscovery.load();
         waited += 50) {
      SleepMs(50);
    }
  }
  s->discoveryEnded.store(1);
}

}  // namespace

bool BaseStationDiscovery::State::Update(const DiscoveryResponse* responses, size_t count) {
  char text[64];
  {
    NamedMutexGuard hold(listLock, kUpdateLockWaitMs);
    if (!hold.Owned()) return false;
    bool frozen, ignoreTemp;
    ReadFlags(frozen, ignoreTemp);
    if (!frozen) {
      table.count = 0;
      for (size_t i = 0; i < count && table.count < kMaxBaseStations; ++i) {
        if (ignoreTemp && FirstOctet(responses[i].address) == 169) continue;
        table.records[table.count++] = RecordFromResponse(responses[i]);
      }
    }
    if (table.count == 0) {
      std::snprintf(text, sizeof text, "Base stations: none");
    } else {
      std::snprintf(text, sizeof text, "Base stations: %lu",
                    static_cast<unsigned long>(table.count));
    }
  }
  // The label is set after the lock is released, so that a front end that hands the text to its
  // own thread can never wait on a thread that holds the lock.
  PublishStatus(text);
  return true;
}

size_t BaseStationDiscovery::State::Cycle() {
  // One cycle's answers stay off the table until the update; 256 at most.
  std::vector<DiscoveryResponse> responses(kMaxBaseStations);
  size_t count = 0;

  UdpSocket socket;
  if (socket.Open()) {
    socket.SetReceiveTimeout(kReceiveTimeoutMs);
    SleepMs(50);
    // Answers the table would leave out are not heard either (the table's own flag does not
    // matter to those waiting for stations).
    bool frozen = false;
    bool ignoreTemp = false;
    ReadFlags(frozen, ignoreTemp);
    {
      std::lock_guard<std::mutex> hold(heardLock);
      heard.clear();
    }
    const auto request = MakeDiscoveryRequest();
    socket.SendTo(GroupAddress(), kDiscoveryPort, request.data(), request.size());
    uint8_t buffer[kResponseBufferSize];
    int misses = 0;
    // A full buffer ends the listening: further answers are dropped, and a flood of answers
    // cannot keep the cycle from ending.
    while (misses < 3 && count < kMaxBaseStations && !stopDiscovery.load()) {
      uint32_t sender = 0;
      const ssize_t n = socket.ReceiveFrom(buffer, sizeof buffer, &sender);
      if (n < 0) {
        ++misses;
      } else if (n > 0) {
        ParseDiscoveryResponse(responses[count], buffer, static_cast<size_t>(n));
        responses[count].address = sender;
        if (!(ignoreTemp && FirstOctet(sender) == 169)) {
          {
            std::lock_guard<std::mutex> hold(heardLock);
            heard.push_back(RecordFromResponse(responses[count]));
          }
          heardChanged.notify_all();
        }
        ++count;
        misses = 0;
      }
    }
    socket.Close();
  }
  Update(responses.data(), count);
  {
    std::lock_guard<std::mutex> hold(heardLock);
    cycles.fetch_add(1);
  }
  heardChanged.notify_all();
  return count;
}

BaseStationDiscovery::BaseStationDiscovery(DiscoveryHooks hooks)
    : state_(std::make_shared<State>()), hooks_(std::move(hooks)) {
  state_->hooks = hooks_;
}

BaseStationDiscovery::~BaseStationDiscovery() { StopDiscovery(); }

void BaseStationDiscovery::StartDiscovery() {
  if (thread_.joinable()) return;
  if (!state_->discoveryEnded.load() && state_->stopDiscovery.load()) {
    // A thread left behind by an earlier stop still owns the old state: start afresh.
    auto fresh = std::make_shared<State>();
    fresh->hooks = hooks_;
    state_ = fresh;
  }
  state_->discoveryIntervalMs = kDiscoveryIntervalMs;
  {
    NamedMutexGuard hold(state_->listLock, kStopWaitMs);
    state_->table = BaseStationList{};
  }
  silent_.count = 0;
  state_->stopDiscovery.store(0);
  state_->discoveryEnded.store(0);
  if (!curlReady_) {
    AcquireCurl();
    curlReady_ = true;
  }
  thread_ = std::thread(DiscoveryThread, state_);
}

void BaseStationDiscovery::StopDiscovery() {
  if (!thread_.joinable()) return;
  state_->stopDiscovery.store(1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
  while (!state_->discoveryEnded.load() && std::chrono::steady_clock::now() < deadline) {
    SleepMs(5);
  }
  if (state_->discoveryEnded.load()) {
    thread_.join();
  } else {
    {
      std::lock_guard<std::mutex> hold(state_->hooksLock);
      state_->hooks = DiscoveryHooks{};
    }
    thread_.detach();
  }
  if (curlReady_) ReleaseCurl();
  curlReady_ = false;
}

bool BaseStationDiscovery::Running() const { return thread_.joinable(); }

bool BaseStationDiscovery::UpdateBaseStationList(const DiscoveryResponse* responses, size_t count) {
  if (responses == nullptr) count = 0;
  return state_->Update(responses, count);
}

size_t BaseStationDiscovery::RunDiscoveryCycle() { return state_->Cycle(); }

bool BaseStationDiscovery::ProbeBaseStation(uint32_t address) {
  if (address == 0 || address == 0xFFFFFFFFu) return false;
  UdpSocket socket;
  if (!socket.Open()) return false;
  socket.SetReceiveTimeout(kReceiveTimeoutMs);
  const auto request = MakeDiscoveryRequest();
  socket.SendTo(address, kDiscoveryPort, request.data(), request.size());
  uint8_t buffer[kResponseBufferSize];
  return socket.ReceiveFrom(buffer, sizeof buffer, nullptr) > 0;
}

bool BaseStationDiscovery::SendToModules(const uint8_t* data, size_t length) {
  if (data == nullptr || length == 0) return false;
  UdpSocket socket;
  if (!socket.Open()) return false;
  return socket.SendTo(GroupAddress(), kDiscoveryPort, data, length) ==
         static_cast<ssize_t>(length);
}

bool BaseStationDiscovery::CheckPresence(const BaseStationRecord* record) {
  if (record == nullptr) return false;
  if (ProbeBaseStation(record->address)) return false;
  RememberSilent(*record);
  return true;
}

void BaseStationDiscovery::RememberSilent(const BaseStationRecord& record) {
  for (uint32_t i = 0; i < silent_.count; ++i) {
    if (silent_.records[i].address == record.address) return;
  }
  if (silent_.count >= kMaxBaseStations) silent_.count = 0;
  silent_.records[silent_.count++] = record;
}

void BaseStationDiscovery::ReportSilentBaseStations(const std::string& suffix) {
  DiscoveryHooks hooks;
  {
    std::lock_guard<std::mutex> hold(state_->hooksLock);
    hooks = state_->hooks;
  }
  for (uint32_t i = 0; i < silent_.count; ++i) {
    const BaseStationRecord& r = silent_.records[i];
    if (!hooks.addRow) continue;
    const int row =
        hooks.addRow(std::string("Address: ") + r.addressText, "No answer " + suffix, 5);
    if (hooks.setRowText) {
      hooks.setRowText(
          row, 2,
          FirstOctet(r.address) == 169 ? "Warning: IP may be temporary." : "Lost connection?");
    }
  }
  silent_.count = 0;
}

bool BaseStationDiscovery::ConfirmResponding(const BaseStationRecord* record) {
  if (record == nullptr) return false;
  if (ProbeBaseStation(record->address)) return true;
  std::string text = std::string("Base station at ") + record->addressText + " is not responding.";
  if (FirstOctet(record->address) == 169) {
    text +=
        "\n\nWarning: the IP address may be temporary.\nTry clearing the list and then View again.";
  }
  std::function<void(const std::string&, const std::string&)> box;
  {
    std::lock_guard<std::mutex> hold(state_->hooksLock);
    box = state_->hooks.errorBox;
  }
  if (box) box("Connection lost", text);
  return false;
}

BaseStationList& BaseStationDiscovery::Table() { return state_->table; }
NamedMutex& BaseStationDiscovery::ListLock() { return state_->listLock; }
SilentList& BaseStationDiscovery::Silent() { return silent_; }

std::string BaseStationDiscovery::StatusText() const {
  std::lock_guard<std::mutex> hold(state_->hooksLock);
  return state_->status;
}

void BaseStationDiscovery::SetStatusText(const std::string& text) { state_->PublishStatus(text); }

void BaseStationDiscovery::SetHooks(DiscoveryHooks hooks) {
  hooks_ = std::move(hooks);
  std::lock_guard<std::mutex> hold(state_->hooksLock);
  state_->hooks = hooks_;
}

std::atomic<int32_t>& BaseStationDiscovery::ListShowsBaseStations() {
  return state_->listShowsBaseStations;
}

void BaseStationDiscovery::SetIgnoreTempAddresses(bool ignore) {
  state_->ignoreTempAddresses.store(ignore ? 1 : 0);
}

bool BaseStationDiscovery::IgnoreTempAddresses() const {
  return state_->ignoreTempAddresses.load() != 0;
}

uint64_t BaseStationDiscovery::CycleCount() const { return state_->cycles.load(); }

std::vector<BaseStationRecord> BaseStationDiscovery::AwaitStations(
    const std::vector<uint32_t>& addresses, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  State& s = *state_;
  // Each address's answers from the latest cycle in which it answered.
  std::vector<std::vector<BaseStationRecord>> answers(addresses.size());
  auto collect = [&] {
    bool all = true;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      std::vector<BaseStationRecord> now;
      for (const BaseStationRecord& r : s.heard)
        if (r.address == addresses[i]) now.push_back(r);
      if (!now.empty()) answers[i] = std::move(now);
      all = all && !answers[i].empty();
    }
    return all;
  };
  {
    std::unique_lock<std::mutex> hold(s.heardLock);
    const uint64_t cycle = s.cycles.load();
    while (!collect() && s.cycles.load() == cycle) {
      if (s.heardChanged.wait_until(hold, deadline) == std::cv_status::timeout) {
        collect();
        break;
      }
    }
  }
  std::vector<BaseStationRecord> out;
  for (const auto& a : answers) out.insert(out.end(), a.begin(), a.end());
  return out;
}

}  // namespace qelta::network

#pragma once
// A simulated hand terminal or base station: bytes in, answer bytes out.
//
// The model is independent of any transport: Receive() takes what arrived on the line and queues
// answers with the time at which they are due; a transport runner (transport/DeviceRunner.h)
// writes them out. Tests can drive it directly with Exchange(). Every public call is thread-safe.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "device/BootModeHandler.h"
#include "device/CommandHandler.h"
#include "device/DeviceIdentity.h"
#include "device/DeviceMemory.h"
#include "device/DeviceResponses.h"
#include "device/FaultKnobs.h"
#include "device/FrameParser.h"

namespace qelta::sim {

enum class Direction { kReceived, kSent };

struct DeviceAnswer {
  std::chrono::steady_clock::time_point due;
  std::vector<std::uint8_t> bytes;
};

class SimDevice {
 public:
  using Clock = std::chrono::steady_clock;
  // Sees every frame received (also raw boot-mode bytes) and every answer sent.
  using TrafficObserver = std::function<void(Direction, std::span<const std::uint8_t>)>;

  explicit SimDevice(const DeviceIdentity& identity = {});
  ~SimDevice();
  SimDevice(const SimDevice&) = delete;
  SimDevice& operator=(const SimDevice&) = delete;

  // --- the line ---
  void Receive(std::span<const std::uint8_t> bytes, Clock::time_point now = Clock::now());
  // Lets time pass: gives up stalled partial frames.
  void Tick(Clock::time_point now = Clock::now());
  // Answers queued so far, in the order they go out.
  std::vector<DeviceAnswer> TakeAnswers();
  // Earliest moment Tick() has something to do; nullopt when idle.
  std::optional<Clock::time_point> NextTick() const;
  // The line was dropped by the drop knob; the transport hangs up once the answers are out.
  bool LineDropped() const;
  // A new connection (TCP client): forget half-received frames and the retry memory.
  void LineReset();
  // Test helper: Receive() now and return all queued answer bytes, ignoring their due times.
  std::vector<std::uint8_t> Exchange(std::span<const std::uint8_t> bytes);
  // Called by the transport for traffic it really sends (after pacing), for the observer.
  void NoteSent(std::span<const std::uint8_t> bytes);

  // --- configuration ---
  DeviceIdentity Identity() const;
  void SetIdentity(const DeviceIdentity& identity);
  FaultKnobs Faults() const;
  void SetFaults(const FaultKnobs& faults);
  TimingKnobs Timing() const;
  void SetTiming(const TimingKnobs& timing);
  DeviceResponses Responses() const;
  void SetResponses(const DeviceResponses& responses);
  void SetTrafficObserver(TrafficObserver observer);

  // --- boot loading ---
  void SetBootHandler(std::unique_ptr<BootModeHandler> handler);
  // The boot handler's programmed flash (empty without a handler), and putting it back.
  std::vector<std::uint8_t> BootFlash() const;
  void RestoreBootFlash(std::span<const std::uint8_t> contents);
  void SetBootMode(bool on);
  bool BootMode() const;

  // --- snapshots, for tests and the state file ---
  DeviceActivity Activity() const;
  // Page 0 or 1 as the wire reads it (256 bytes); on a hand terminal a window on the extended
  // memory, see DeviceMemory.h.
  std::vector<std::uint8_t> Page(int page) const;
  std::vector<std::uint8_t> Extended() const;
  // Runs `f` on the memory with the device locked (f must not call back into the device).
  void WithMemory(const std::function<void(DeviceMemory&)>& f);

 private:
  // What the boot handler sees; its calls come with the lock already held.
  class BootAccess : public BootControl {
   public:
    explicit BootAccess(SimDevice& device) : device_(device) {}
    void SetBootMode(bool on) override { device_.SetBootModeLocked(on); }
    bool BootMode() const override { return device_.boot_mode_; }
    DeviceMemory& Memory() override { return device_.state_.memory; }
    const DeviceIdentity& Identity() const override { return device_.state_.identity; }
    void AnswerLater(std::vector<std::uint8_t> bytes, std::chrono::milliseconds after) override {
      device_.QueueLocked(std::move(bytes), device_.AnswerTimeLocked(device_.call_time_) + after);
    }

   private:
    SimDevice& device_;
  };

  void SetBootModeLocked(bool on);
  void HandleFrameLocked(const CommandFrame& frame, Clock::time_point now);
  void QueueLocked(std::vector<std::uint8_t> bytes, Clock::time_point due);
  Clock::time_point AnswerTimeLocked(Clock::time_point now) const;

  mutable std::mutex mutex_;
  DeviceState state_;
  FaultKnobs faults_;
  TimingKnobs timing_;
  FrameParser parser_;
  std::unique_ptr<BootModeHandler> boot_handler_;
  bool boot_mode_ = false;
  std::vector<DeviceAnswer> answers_;
  Clock::time_point last_due_{};
  Clock::time_point asleep_until_{};
  Clock::time_point call_time_{};  // `now` of the Receive/Tick being handled
  std::optional<std::vector<std::uint8_t>> ignored_once_;  // answer_second_only memory
  bool dropped_ = false;
  std::uint32_t garbage_seed_ = 0x2545F491;
  TrafficObserver observer_;
  BootAccess boot_access_{*this};
};

}  // namespace qelta::sim

// The serial link's two worker threads. Send writes frames handed over through its link's
// "busconf" and runs the RTS/CTS handshake; Receive waits for port events, collects batches and
// hands them on.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "halvex/HalvexCtrl.h"
#include "halvex/SmallStackThread.h"
#include "platform/Event.h"

namespace halvex {

class SerialPort;
class SerialTransport;

class SendWorker {
 public:
  static constexpr int kBufferSize = 512;

  SendWorker(CHalvexCtrl::Impl& link, SerialTransport& serial, std::shared_ptr<Event> busconf);
  ~SendWorker();  // stops and joins

  // False when no thread could be started: nothing is then written to the port.
  bool Start();
  // Sets the stop flag, wakes the worker through "busconf" and waits for it to end.
  void Stop();

  // Caller's thread: copy a frame in (at most 512 bytes) and the handshake choice.
  void Load(const uint8_t* bytes, int length, bool handshake);
  bool Pending() const { return pendingLength_.load() != 0; }

  std::atomic<bool> bootFlag{false};

 private:
  void Run();
  void Handshake(SerialPort& port, const std::shared_ptr<Event>& conffrank);

  CHalvexCtrl::Impl& link_;
  SerialTransport& serial_;
  std::shared_ptr<Event> busconf_;
  std::mutex txMutex_;
  uint8_t tx_[kBufferSize] = {};
  std::atomic<int16_t> pendingLength_{0};
  uint64_t loads_ = 0;  // under txMutex_: a frame loaded during a write stays pending
  std::atomic<bool> handshake_{false};
  std::atomic<bool> stop_{false};
  SmallStackThread thread_;
};

class ReceiveWorker {
 public:
  static constexpr int kBatchSize = 512;
  static constexpr int kBatchPauseMs = 5;

  ReceiveWorker(CHalvexCtrl::Impl& link, std::shared_ptr<SerialPort> port,
                std::shared_ptr<Event> conffrank, std::shared_ptr<Event> receventti);
  ~ReceiveWorker();  // joins

  void Start();
  // Sets the stop flag and ends the port's pending wait; Join waits for the thread.
  void RequestStop();
  void Join();

 private:
  void Run();

  CHalvexCtrl::Impl& link_;
  std::shared_ptr<SerialPort> port_;
  std::shared_ptr<Event> conffrank_;
  std::shared_ptr<Event> receventti_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace halvex

// The serial way to a device: the port, its two workers and the three events they hand over
// through. The events belong to this link object alone: "busconf" lives as long as the object (as
// does the Send worker), "conffrank" and "receventti" as long as one open of the port.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "halvex/HalvexCtrl.h"
#include "transport/Transport.h"

namespace halvex {

class Event;
class SerialPort;
class SendWorker;
class ReceiveWorker;

class SerialTransport : public Transport {
 public:
  // Makes "busconf" and starts the Send worker.
  explicit SerialTransport(CHalvexCtrl::Impl& link);
  // Closes the port, then stops the Send worker.
  ~SerialTransport() override;

  // The open steps; false with the status text set on failure.
  bool Open(int16_t portNumber, int16_t baudRate);

  Kind GetKind() const override { return Kind::kSerial; }
  bool IsOpen() const override;
  void Send(const int16_t* buf, int16_t length) override;
  bool SendAndWait(const int16_t* buf, int16_t length, int16_t waitTime) override;
  bool AwaitCaptured(int count, int timeoutMs) override;
  // Stops the Receive worker and closes the port; the status text is emptied.
  void Close() override;

  // The open port's number (0 when closed, 1 before the first open) and its speed.
  int16_t ComPort() const { return comPort_.load(); }
  int16_t Baud() const { return baud_.load(); }
  // The port while open (nullptr when closed); the workers and the boot loader keep a copy.
  std::shared_ptr<SerialPort> Port() const;
  // The open port's "conffrank" (nullptr when closed).
  std::shared_ptr<Event> Conffrank() const;
  // Empties the port's transmit and receive queues when it is open.
  void Purge();
  // The boot-load stream sets this to suspend the RTS/CTS handshake.
  void SetBootFlag(bool on);
  bool BootFlag() const;
  // How many Receive workers this link has started (one per successful open).
  int ReceiveWorkersStarted() const { return receiveWorkersStarted_.load(); }

 private:
  // Fills the Send worker's transmit buffer and purges the port; `start` sets "busconf".
  void LoadSender(const int16_t* buf, int16_t length, bool start);

  CHalvexCtrl::Impl& link_;
  std::shared_ptr<Event> busconf_;
  std::unique_ptr<SendWorker> sender_;
  bool senderRunning_ = false;

  // Swapped under portMutex_ by open and close; users keep copies.
  mutable std::mutex portMutex_;
  std::shared_ptr<SerialPort> port_;
  std::shared_ptr<Event> conffrank_;
  std::shared_ptr<Event> receventti_;
  std::unique_ptr<ReceiveWorker> receiver_;
  std::atomic<int> receiveWorkersStarted_{0};

  std::atomic<int16_t> comPort_{1};
  std::atomic<int16_t> baud_{0};
};

}  // namespace halvex

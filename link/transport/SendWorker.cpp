#include <algorithm>
#include <cstring>
#include <utility>

#include "halvex/SerialPort.h"
#include "interface/LinkState.h"
#include "platform/Event.h"
#include "transport/SerialTransport.h"
#include "transport/Workers.h"

namespace halvex {

SendWorker::SendWorker(CHalvexCtrl::Impl& link, SerialTransport& serial,
                       std::shared_ptr<Event> busconf)
    : link_(link), serial_(serial), busconf_(std::move(busconf)) {}

SendWorker::~SendWorker() { Stop(); }

bool SendWorker::Start() {
  return thread_.Start([this] { Run(); });
}

void SendWorker::Stop() {
  stop_ = true;
  if (busconf_) busconf_->Set();
  thread_.Join();
}

void SendWorker::Load(const uint8_t* bytes, int length, bool handshake) {
  length = std::clamp(length, 0, kBufferSize);
  std::lock_guard lock(txMutex_);
  if (length > 0) std::memcpy(tx_, bytes, static_cast<size_t>(length));
  pendingLength_ = static_cast<int16_t>(length);
  handshake_ = handshake;
  ++loads_;
}

void SendWorker::Handshake(SerialPort& port, const std::shared_ptr<Event>& conffrank) {
  // Let the device drop CTS first: up to 10 looks, 20 ms apart.
  for (int i = 0; i < 10 && !stop_; ++i) {
    bool cts = false;
    if (!port.GetCts(&cts) || !cts) break;
    if (conffrank) conffrank->WaitUnless(20, stop_);
  }
  // Ask with RTS; the device answers with a CTS change, which Receive signals on "conffrank".
  // The mark makes a CTS change that comes before the wait begins count as well.
  const uint64_t mark = conffrank ? conffrank->Mark() : 0;
  port.SetRts(true);
  if (conffrank) conffrank->WaitSince(mark, 600, stop_);
  port.SetRts(false);
}

void SendWorker::Run() {
  if (!busconf_) {
    link_.TesterLog(3, "OVERLAPPED FAILED!");
    return;
  }
  while (!stop_) {
    busconf_->Wait(-1);
    busconf_->Reset();
    if (stop_) break;
    if (pendingLength_.load() == 0) continue;

    const std::shared_ptr<SerialPort> port = serial_.Port();
    const std::shared_ptr<Event> conffrank = serial_.Conffrank();
    if (!port) {
      pendingLength_ = 0;
      continue;
    }
    const bool handshake = handshake_ && !bootFlag && port->HasModemLines();
    if (handshake) Handshake(*port, conffrank);
    link_.face.SetTxLamp(LampState::kBright);
    if (handshake) CHalvexCtrl::Impl::SleepMs(50);

    uint8_t frame[kBufferSize];
    size_t n;
    uint64_t loaded;
    {
      std::lock_guard lock(txMutex_);
      n = static_cast<size_t>(pendingLength_.load());
      std::memcpy(frame, tx_, n);
      loaded = loads_;
    }
    const SerialPort::WriteResult w = port->Write(frame, n);
    if (!w.completedAtOnce) port->Purge(true, false);
    std::lock_guard lock(txMutex_);
    if (loads_ == loaded) pendingLength_ = 0;
  }
}

}  // namespace halvex

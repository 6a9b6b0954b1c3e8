#include <cstring>
#include <vector>

#include "halvex/SerialPort.h"
#include "interface/LinkState.h"
#include "platform/Event.h"
#include "transport/Workers.h"

namespace halvex {

ReceiveWorker::ReceiveWorker(CHalvexCtrl::Impl& link, std::shared_ptr<SerialPort> port,
                             std::shared_ptr<Event> conffrank, std::shared_ptr<Event> receventti)
    : link_(link),
      port_(std::move(port)),
      conffrank_(std::move(conffrank)),
      receventti_(std::move(receventti)) {}

ReceiveWorker::~ReceiveWorker() {
  RequestStop();
  Join();
}

void ReceiveWorker::Start() {
  thread_ = std::thread([this] { Run(); });
}

void ReceiveWorker::RequestStop() {
  stop_ = true;
  port_->Cancel();
}

void ReceiveWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

void ReceiveWorker::Run() {
  uint8_t batch[kBatchSize];
  while (!stop_) {
    const unsigned events = port_->Wait(-1);
    if (stop_ || (events & SerialPort::kCancelled)) break;
    if (events & SerialPort::kError) {
      // The device went away (a pty whose other end closed): do not spin.
      CHalvexCtrl::Impl::SleepMs(20);
      continue;
    }
    if (events & SerialPort::kData) {
      // A batch ends after a 5 ms pause without new bytes, or when the buffer is full; the rest
      // then starts the next batch.
      size_t len = 0;
      while (len < sizeof batch) {
        CHalvexCtrl::Impl::SleepMs(kBatchPauseMs);
        const long r = port_->Read(batch + len, sizeof batch - len);
        if (r <= 0) break;
        len += static_cast<size_t>(r);
      }
      if (len > 0) {
        if (link_.proto.berMode.load()) {
          BerReceive(link_, batch, len);
        } else {
          link_.HandleChunk(batch, len, receventti_.get());
        }
      }
    }
    if ((events & SerialPort::kCtsChange) && conffrank_) conffrank_->Pulse();
  }
}

}  // namespace halvex

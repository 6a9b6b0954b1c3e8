// The serial way to a device: opening and closing the port, handing frames to the Send worker and
// waiting for answers; Connect and Disconnect, and which way a link object uses.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "halvex/SerialPort.h"
#include "interface/LinkState.h"
#include "platform/Event.h"
#include "transport/SerialTransport.h"
#include "transport/TcpTransport.h"
#include "transport/Workers.h"

using Impl = CHalvexCtrl::Impl;

namespace halvex {
namespace {
constexpr int kFirstWaitMs = 1500;
constexpr int16_t kLongWaitCode = 32700;
constexpr int kLongWaitMs = 55000;
constexpr int kPendingWaitMs = 100;
constexpr int kCloseSettleMs = 100;
}  // namespace

SerialTransport::SerialTransport(CHalvexCtrl::Impl& link)
    : link_(link), busconf_(std::make_shared<Event>(true, false)) {
  // What the window's creation does: the hand-over event and the Send worker, which live as
  // long as the link object. The Receive worker belongs to each open.
  sender_ = std::make_unique<SendWorker>(link_, *this, busconf_);
  senderRunning_ = sender_->Start();
}

SerialTransport::~SerialTransport() {
  Close();
  sender_->Stop();
}

bool SerialTransport::IsOpen() const {
  std::lock_guard lock(portMutex_);
  return port_ != nullptr;
}

std::shared_ptr<SerialPort> SerialTransport::Port() const {
  std::lock_guard lock(portMutex_);
  return port_;
}

std::shared_ptr<Event> SerialTransport::Conffrank() const {
  std::lock_guard lock(portMutex_);
  return conffrank_;
}

void SerialTransport::Purge() {
  if (auto p = Port()) p->Purge(true, true);
}

void SerialTransport::SetBootFlag(bool on) { sender_->bootFlag = on; }

bool SerialTransport::BootFlag() const { return sender_->bootFlag.load(); }

bool SerialTransport::Open(int16_t portNumber, int16_t baudRate) {
  const std::string path = link_.self.ResolveComPort(portNumber);
  baud_ = baudRate;
  ControlFace& face = link_.face;

  auto fail = [&](const char* status, bool closeOnly = false) {
    if (!closeOnly) {
      face.SetStatusText(status);
      face.Repaint();
    }
    return false;
  };

  SerialOpenFailure why;
  std::shared_ptr<SerialPort> p = OpenSerialPort(path, &why);
  if (!p) {
    link_.lastFailure = why.text;
    // A port someone else holds, or one the user may not open, is worth telling at once: the
    // status text alone would send them looking for a missing device.
    using FailureKind = SerialOpenFailure::Kind;
    if ((why.kind == FailureKind::kBusy || why.kind == FailureKind::kPermission) &&
        !link_.quietPortFailures)
      link_.Message(path + ": " + why.text, "COM" + std::to_string(portNumber));
    return fail(" CreateFile error ");
  }
  if (!p->ReadLineSettings()) return fail(" GetCommState error ");
  // A refused line setting closes the port without a text of its own.
  if (!p->ApplyLineSettings(baudRate)) return fail("", true);
  if (!p->EnableEvents()) return fail(" SetCommMask error ");
  if (p->HasModemLines()) {
    p->SetRts(true);
    p->SetRts(false);
  }
  if (!p->SetImmediateReads()) return fail(" SetCommTimeouts error ");

  auto conf = std::make_shared<Event>(true, false);
  auto rec = std::make_shared<Event>(false, false);
  {
    std::lock_guard lock(portMutex_);
    port_ = p;
    conffrank_ = conf;
    receventti_ = rec;
  }
  receiver_ = std::make_unique<ReceiveWorker>(link_, p, conf, rec);
  receiver_->Start();
  ++receiveWorkersStarted_;

  face.SetStatusText("COM" + std::to_string(portNumber) + " " + std::to_string(baudRate));
  comPort_ = portNumber;
  {
    std::lock_guard lock(link_.replyMutex);
    std::memset(link_.reply, 0, sizeof link_.reply);
    link_.replyLen = 0;
  }
  face.Repaint();
  return true;
}

void SerialTransport::Close() {
  const std::shared_ptr<SerialPort> p = Port();
  if (!p) return;
  if (receiver_) receiver_->RequestStop();
  p->Cancel();  // also ends a write the Send worker may be in
  CHalvexCtrl::Impl::SleepMs(kCloseSettleMs);
  if (receiver_) {
    receiver_->Join();
    receiver_.reset();
  }
  link_.face.SetStatusText("");
  {
    std::lock_guard lock(portMutex_);
    port_.reset();
    conffrank_.reset();
    receventti_.reset();
  }
  link_.face.Repaint();
  comPort_ = 0;
}

void SerialTransport::LoadSender(const int16_t* buf, int16_t length, bool start) {
  uint8_t bytes[SendWorker::kBufferSize];
  // The transmit buffer holds 512 bytes; a longer frame is cut there rather than overrun it.
  const int n = buf ? std::clamp<int>(length, 0, SendWorker::kBufferSize) : 0;
  for (int i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(buf[i] & 0xFF);
  sender_->Load(bytes, n, baud_.load() == 19200);
  link_.ClearReply();
  if (const std::shared_ptr<SerialPort> p = Port()) {
    p->Purge(true, false);
    p->Purge(false, true);
  }
  if (start) busconf_->Set();
}

void SerialTransport::Send(const int16_t* buf, int16_t length) {
  if (!IsOpen()) return;
  if (sender_->Pending()) CHalvexCtrl::Impl::SleepMs(kPendingWaitMs);
  LoadSender(buf, length, true);
}

bool SerialTransport::SendAndWait(const int16_t* buf, int16_t length, int16_t waitTime) {
  const int retryWait = waitTime == kLongWaitCode ? kLongWaitMs : std::max<int>(waitTime, 0);
  std::shared_ptr<Event> rec;
  {
    std::lock_guard lock(portMutex_);
    if (!port_) return false;
    rec = receventti_;
  }
  // Without a Send worker nothing goes out, and no answer comes.
  if (!senderRunning_) return false;
  rec->Reset();
  // Length 0 sends nothing and only waits for incoming data.
  const bool start = length > 0 && buf != nullptr;
  LoadSender(buf, length, start);
  bool got = rec->Wait(kFirstWaitMs);
  rec->Reset();
  if (got) return true;

  LoadSender(buf, length, start);
  got = rec->Wait(retryWait);
  rec->Reset();
  return got;
}

bool SerialTransport::AwaitCaptured(int count, int timeoutMs) {
  return link_.AwaitRing(count, timeoutMs);
}

}  // namespace halvex

bool Impl::SerialOpen() const { return serial && serial->IsOpen(); }

bool Impl::TcpOpen() const { return tcp && tcp->IsOpen(); }

bool Impl::OverTcp() const {
  const halvex::Transport* t = active.load();
  return t != nullptr && t->GetKind() == halvex::Transport::Kind::kTcp;
}

void Impl::ChooseTransport() {
  if (TcpOpen()) {
    active = tcp.get();
  } else if (SerialOpen()) {
    active = serial.get();
  } else {
    active = nullptr;
  }
}

int16_t Impl::ComPort() const { return serial->ComPort(); }

int16_t Impl::Baud() const { return serial->Baud(); }

void Impl::SetBootFlag(bool on) { serial->SetBootFlag(on); }

bool Impl::BootFlag() const { return serial->BootFlag(); }

void Impl::ClearReply() {
  std::lock_guard lock(replyMutex);
  std::memset(reply, 0, sizeof reply);
}

bool CHalvexCtrl::Connect(int16_t com_port, int16_t baud) {
  Impl& d = *d_;
  d.lastFailure.clear();
  d.active = nullptr;
  d.tcp->Close();
  d.serial->Close();
  d.proto.info.Invalidate();
  if (com_port == 0) return true;
  const bool opened = d.serial->Open(com_port, baud);
  d.ChooseTransport();
  return opened;
}

void CHalvexCtrl::Disconnect() {
  Impl& d = *d_;
  d.active = nullptr;
  d.tcp->Close();
  d.serial->Close();
  d.ClearProgress();
  d.face.Repaint();
}

void CHalvexCtrl::SetComPortPath(int16_t port, const std::string& devicePath) {
  std::lock_guard lock(d_->hostMutex);
  if (devicePath.empty()) {
    d_->comPaths.erase(port);
  } else {
    d_->comPaths[port] = devicePath;
  }
}

std::string CHalvexCtrl::ResolveComPort(int16_t port) const {
  const std::string var = "HALVEX_COM" + std::to_string(port);
  if (const char* env = std::getenv(var.c_str()); env && *env) return env;
  {
    std::lock_guard lock(d_->hostMutex);
    auto it = d_->comPaths.find(port);
    if (it != d_->comPaths.end()) return it->second;
  }
  return "/dev/ttyS" + std::to_string(port - 1);
}

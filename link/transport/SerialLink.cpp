// Opening and closing the serial port: Connect, Disconnect and the status text.
#include <cstdlib>
#include <cstring>
#include <string>

#include "halvex/SerialPort.h"
#include "interface/LinkState.h"
#include "platform/NamedSignals.h"
#include "transport/Workers.h"

using Impl = CHalvexCtrl::Impl;

bool Impl::SerialOpen() const {
  std::lock_guard lock(linkMutex);
  return port != nullptr;
}

bool Impl::TcpOpen() const { return tcpSocket.load() >= 0; }

bool Impl::HasLink() const { return TcpOpen() || SerialOpen(); }

void Impl::SetBootFlag(bool on) {
  if (sender) sender->bootFlag = on;
}

bool Impl::BootFlag() const { return sender && sender->bootFlag.load(); }

void Impl::ClearReply() {
  std::lock_guard lock(replyMutex);
  std::memset(reply, 0, sizeof reply);
}

bool Impl::OpenSerial(int16_t portNumber, int16_t baudRate) {
  const std::string path = self.ResolveComPort(portNumber);
  baud = baudRate;

  auto fail = [&](const char* status, bool closeOnly = false) {
    if (!closeOnly) {
      face.SetStatusText(status);
      face.Repaint();
    }
    return false;
  };

  halvex::SerialOpenFailure why;
  std::shared_ptr<halvex::SerialPort> p = halvex::OpenSerialPort(path, &why);
  if (!p) {
    lastFailure = why.text;
    // A port someone else holds, or one the user may not open, is worth telling at once: the
    // status text alone would send them looking for a missing device.
    using Kind = halvex::SerialOpenFailure::Kind;
    if ((why.kind == Kind::kBusy || why.kind == Kind::kPermission) && !quietPortFailures)
      Message(path + ": " + why.text, "COM" + std::to_string(portNumber));
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

  auto conf = halvex::NamedEvent::Create("conffrank", true, false);
  auto rec = halvex::NamedEvent::Create("receventti", false, false);
  {
    std::lock_guard lock(linkMutex);
    port = p;
    conffrank = conf;
    receventti = rec;
  }
  receiver = std::make_unique<halvex::ReceiveWorker>(*this, p, conf, rec);
  receiver->Start();

  face.SetStatusText("COM" + std::to_string(portNumber) + " " + std::to_string(baudRate));
  comPort = portNumber;
  {
    std::lock_guard lock(replyMutex);
    std::memset(reply, 0, sizeof reply);
    replyLen = 0;
  }
  face.Repaint();
  return true;
}

void Impl::CloseSerial() {
  if (!SerialOpen()) return;
  if (receiver) receiver->RequestStop();
  std::shared_ptr<halvex::SerialPort> p;
  {
    std::lock_guard lock(linkMutex);
    p = port;
  }
  p->Cancel();  // also ends a write the Send worker may be in
  SleepMs(100);
  if (receiver) {
    receiver->Join();
    receiver.reset();
  }
  face.SetStatusText("");
  {
    std::lock_guard lock(linkMutex);
    port.reset();
    conffrank.reset();
    receventti.reset();
  }
  face.Repaint();
  comPort = 0;
}

bool CHalvexCtrl::Connect(int16_t com_port, int16_t baud) {
  Impl& d = *d_;
  d.lastFailure.clear();
  d.CloseSocket();
  d.CloseSerial();
  halvex::InvalidateDeviceInfo();
  if (com_port == 0) return true;
  return d.OpenSerial(com_port, baud);
}

void CHalvexCtrl::Disconnect() {
  Impl& d = *d_;
  d.CloseSocket();
  d.CloseSerial();
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

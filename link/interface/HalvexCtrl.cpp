// The link object's life, host integration and properties.
#include "halvex/HalvexCtrl.h"

#include <chrono>
#include <iostream>
#include <thread>

#include "halvex/PropertyBag.h"
#include "interface/LinkState.h"
#include "interface/Version.h"
#include "transport/SerialTransport.h"
#include "transport/TcpTransport.h"

using Impl = CHalvexCtrl::Impl;

Impl::Impl(CHalvexCtrl& owner) : self(owner) {}
Impl::~Impl() = default;

CHalvexCtrl::CHalvexCtrl() : d_(std::make_unique<Impl>(*this)) {
  // The serial way starts its Send worker now, as the window's creation does; the Receive worker
  // belongs to each serial open.
  d_->serial = std::make_unique<halvex::SerialTransport>(*d_);
  d_->tcp = std::make_unique<halvex::TcpTransport>(*d_);
}

CHalvexCtrl::~CHalvexCtrl() {
  // Close the link first (as Connect to port 0) so that a write in progress ends, then wake the
  // Send worker and wait for it; nothing of this object is touched by a worker afterwards.
  Connect(0, 19200);
  d_->serial.reset();
  d_->tcp.reset();
  d_->face.SetChangeCallback(nullptr);
}

void CHalvexCtrl::SetEventSink(HalvexEvents* sink) { d_->sink = sink; }

void CHalvexCtrl::SetMessageHandler(MessageHandler handler) {
  std::lock_guard lock(d_->hostMutex);
  d_->messageHandler = std::move(handler);
}

halvex::ControlFace& CHalvexCtrl::Face() { return d_->face; }

void CHalvexCtrl::LoadProperties(const halvex::PropertyBag& bag) {
  bool v = false;
  d_->bootType = bag.ReadBool("BootType", &v) ? v : false;
  d_->resetType = bag.ReadBool("ResetType", &v) ? v : false;
  d_->modified = false;
}

void CHalvexCtrl::SaveProperties(halvex::PropertyBag& bag) const {
  bag.WriteBool("BootType", d_->bootType);
  bag.WriteBool("ResetType", d_->resetType);
  d_->modified = false;
}

bool CHalvexCtrl::IsModified() const { return d_->modified; }

std::string CHalvexCtrl::AboutText() {
  return std::string(halvex::kHalvexName) + " Version " + halvex::kHalvexVersion;
}

std::string CHalvexCtrl::LastFailure() const { return d_->lastFailure; }

bool CHalvexCtrl::GetBootType() const { return d_->bootType; }

void CHalvexCtrl::SetBootType(bool value) {
  d_->bootType = value;
  d_->modified = true;
}

bool CHalvexCtrl::GetResettype() const { return d_->resetType; }

void CHalvexCtrl::SetResettype(bool value) {
  d_->resetType = value;
  d_->modified = true;
}

// Declared in the interface without an implementation; the dispatch layer does not reach them.
uint32_t CHalvexCtrl::ConnTCP(uint32_t, uint16_t) { return 0; }
void CHalvexCtrl::The_F_Method() {}

void CHalvexCtrl::AboutBox() {
  d_->Message(AboutText(), std::string("About ") + halvex::kHalvexName);
}

void Impl::DrawProgress(int x, int y, const std::string& text) { face.DrawProgress(x, y, text); }

void Impl::DrawProgress(int x, int y, const std::string& text, halvex::Rgb foreground,
                        halvex::Rgb background) {
  face.DrawProgress(x, y, text, foreground, background);
}

void Impl::ClearProgress() { face.ClearProgress(); }

void Impl::ShowBerWaiting(bool on) { face.SetBerWaiting(on); }

void Impl::Message(const std::string& text, const std::string& caption) {
  MessageHandler handler;
  {
    std::lock_guard lock(hostMutex);
    handler = messageHandler;
  }
  if (handler) {
    handler(text, caption);
  } else {
    std::cerr << caption << ": " << text << '\n';
  }
}

void Impl::SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

#include "boot/BootLink.h"

#include <mutex>

#include "transport/SerialTransport.h"

namespace halvex::boot {

bool BootLink::Exchange(const uint8_t* bytes, size_t n, int waitTime) {
  std::vector<int16_t> elems(bytes, bytes + n);
  // SendAndWait wants a valid array even for an empty send.
  if (elems.empty()) elems.push_back(0);
  return link_.self.SendAndWait(elems.data(), static_cast<int16_t>(n),
                                static_cast<int16_t>(waitTime));
}

bool BootLink::Exchange(std::initializer_list<uint8_t> bytes, int waitTime) {
  return Exchange(bytes.begin(), bytes.size(), waitTime);
}

bool BootLink::AwaitData(int waitTime) { return Exchange(nullptr, 0, waitTime); }

uint8_t BootLink::ReplyByte0() const {
  std::lock_guard<std::mutex> lock(link_.replyMutex);
  return link_.reply[0];
}

int16_t BootLink::PortNumber() const { return link_.ComPort(); }

void BootLink::Reopen(int16_t baud) {
  // A port that cannot be had was told of when the load was armed; the reopenings around the
  // load only leave the reason in LastFailure.
  link_.quietPortFailures = true;
  link_.self.Connect(PortNumber(), baud);
  link_.quietPortFailures = false;
}

void BootLink::PurgeSerial() { link_.serial->Purge(); }

void BootLink::SetSendBootFlag(bool on) { link_.SetBootFlag(on); }

void BootLink::Draw(int x, int y, const std::string& text, Rgb fg, Rgb bg) {
  link_.DrawProgress(x, y, text, fg, bg);
}

void BootLink::StartLoadProgress(uint32_t total) {
  loadProgress_ = true;
  done_ = 0;
  total_ = total;
  link_.face.SetLoadProgress(done_, total_);
}

void BootLink::AdvanceLoadProgress() {
  if (!loadProgress_ || done_ >= total_) return;
  link_.face.SetLoadProgress(++done_, total_);
}

void BootLink::EndLoadProgress() {
  if (!loadProgress_) return;
  loadProgress_ = false;
  link_.face.ClearLoadProgress();
}

}  // namespace halvex::boot

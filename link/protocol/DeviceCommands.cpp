// Single-command operations: identification, reset, transmit power, laser scanner, signal
// strength and the production tests.
#include <mutex>
#include <string>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "protocol/DeviceInfo.h"
#include "protocol/Frame.h"
#include "protocol/LinkIo.h"

using halvex::CommandFrame;
using halvex::Exchange;
using halvex::Post;
using halvex::ReplyByte;

namespace {

constexpr uint8_t kCmdReset = 0x16;
constexpr uint8_t kCmdSleepTest = 0x19;
constexpr uint8_t kCmdDisplayOrTxPower = 0x1A;
constexpr uint8_t kCmdBackLight = 0x1B;
constexpr uint8_t kCmdBeep = 0x1C;
constexpr uint8_t kCmdScanKeyboard = 0x1D;
constexpr uint8_t kCmdRfTest = 0x1E;
constexpr uint8_t kCmdScanLaser = 0x1F;
constexpr uint8_t kCmdRssi = 0x20;
constexpr uint8_t kCmdChargerTest = 0x21;
constexpr uint8_t kCmdEepromTest = 0x22;
constexpr uint8_t kCmdChargerLed = 0x23;
constexpr uint8_t kCmdSleep = 0x24;
constexpr uint8_t kCmdLaser = 0x11;

const char kConnectionError[] = "Connection Error";

// Sends a one-command request and returns reply byte 0, or -1 with no link or no answer.
int16_t AskByte(CHalvexCtrl::Impl& d, std::vector<int16_t> frame, int waitTime) {
  if (!d.HasLink()) return -1;
  if (!Exchange(d, frame, waitTime)) return -1;
  return ReplyByte(d, 0);
}

void Tell(CHalvexCtrl::Impl& d, std::vector<int16_t> frame) {
  if (!d.HasLink()) return;
  Post(d, frame);
}

// Sends the information request; true when an answer came.
bool AskInfo(CHalvexCtrl::Impl& d, int waitTime) {
  auto frame = CommandFrame(halvex::kInfoCommand);
  return Exchange(d, frame, waitTime);
}

}  // namespace

int16_t CHalvexCtrl::GetDevice() {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  if (auto info = d.proto.info.Get()) return info->type;
  if (AskInfo(d, 1500)) return ReplyByte(d, 1);
  d.ClearProgress();
  return d.OverTcp() ? -3 : -2;
}

std::string CHalvexCtrl::GetSWVersion() {
  if (auto info = impl().proto.info.Get()) return info->VersionText();
  Impl& d = impl();
  if (!d.HasLink() || !AskInfo(d, 3000)) return kConnectionError;
  return halvex::InfoAtStart(halvex::TakeReplySnapshot(d).bytes.data()).VersionText();
}

std::string CHalvexCtrl::GetID() {
  if (auto info = impl().proto.info.Get()) return info->IdText();
  Impl& d = impl();
  if (!d.HasLink() || !AskInfo(d, 3000)) return kConnectionError;
  return halvex::InfoAtStart(halvex::TakeReplySnapshot(d).bytes.data()).IdText();
}

std::string CHalvexCtrl::GetManfDate() {
  if (auto info = impl().proto.info.Get()) return info->DateText();
  Impl& d = impl();
  if (!AskInfo(d, 3000)) return kConnectionError;
  return halvex::InfoAtStart(halvex::TakeReplySnapshot(d).bytes.data()).DateText();
}

int16_t CHalvexCtrl::ReadInfo() {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  {
    std::lock_guard<std::mutex> lock(d.replyMutex);
    d.reply[0] = 0;
    d.reply[1] = 0;
  }
  if (!AskInfo(d, 3000)) return -1;
  const auto snap = halvex::TakeReplySnapshot(d);
  auto info = halvex::ParseInfoReply(snap.bytes.data(), snap.bytes.size());
  if (!info) return -1;
  d.proto.info.Store(*info);
  return 1;
}

void CHalvexCtrl::Reset() { Tell(impl(), CommandFrame(kCmdReset)); }

int16_t CHalvexCtrl::SetTxPower(int16_t level) {
  return AskByte(impl(), CommandFrame(kCmdDisplayOrTxPower, {level}), 1000);
}

std::string CHalvexCtrl::ScanLaser() {
  Impl& d = impl();
  if (!d.HasLink()) return "Connect Error";
  auto frame = CommandFrame(kCmdScanLaser);
  if (!Exchange(d, frame, 3000)) return "Communication error";
  const auto snap = halvex::TakeReplySnapshot(d);
  return halvex::BytesAsText(snap.bytes.data(), static_cast<size_t>(snap.length));
}

int16_t CHalvexCtrl::WriteLaser(const std::string& command) {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  // The frame buffer holds 20 elements; a longer command would not fit.
  if (command.size() > static_cast<size_t>(halvex::kMaxLaserCommand)) return -1;
  halvex::Frame f(kCmdLaser);
  f.Arg(static_cast<int>(command.size())).Text(command);
  auto& frame = f.Finish();
  d.DrawProgress(1, 31, "Sending Scanner Command " + command);
  // These two commands make the scanner busy for a while before it answers.
  const int waitTime = (command == "ZA" || command == "HD") ? 2000 : 1000;
  Exchange(d, frame, waitTime);
  d.ClearProgress();
  return ReplyByte(d, 0);
}

int16_t CHalvexCtrl::GetRSSI() {
  Impl& d = impl();
  halvex::CaptureScope capture(d);
  if (!d.HasLink()) return -1;
  auto frame = CommandFrame(kCmdRssi, {50});
  if (!Exchange(d, frame, 1000)) return -1;
  Impl::SleepMs(100);
  const auto captured = halvex::TakeCapturedBytes(d, 51);
  // The strength sits at position 40 of the answer; a shorter answer carries none.
  if (captured.size() <= 40) return -1;
  return captured[40];
}

int16_t CHalvexCtrl::SleepTest(int16_t delay) {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  // The wait is a 16-bit value of delay * 1000 + 500 ms: only 0 to 32 s fit.
  if (delay < 0 || delay > 32) return -1;
  auto frame = CommandFrame(kCmdSleepTest, {delay});
  Exchange(d, frame, delay * 1000 + 500);
  return ReplyByte(d, 0);
}

void CHalvexCtrl::DisplayTest(int16_t character) {
  Tell(impl(), CommandFrame(kCmdDisplayOrTxPower, {character}));
}

void CHalvexCtrl::BackLight(bool onoff) {
  Tell(impl(), CommandFrame(kCmdBackLight, {onoff ? 1 : 0}));
}

void CHalvexCtrl::BeepTest(int16_t duration) { Tell(impl(), CommandFrame(kCmdBeep, {duration})); }

void CHalvexCtrl::ChargerLed(uint8_t onoff) {
  Tell(impl(), CommandFrame(kCmdChargerLed, {onoff ? 1 : 0}));
}

void CHalvexCtrl::SetSleep() { Tell(impl(), CommandFrame(kCmdSleep)); }

int16_t CHalvexCtrl::ScanKeyboard() { return AskByte(impl(), CommandFrame(kCmdScanKeyboard), 600); }

int16_t CHalvexCtrl::RFTest(int16_t char_count) {
  return AskByte(impl(), CommandFrame(kCmdRfTest, {char_count}), 3500);
}

int16_t CHalvexCtrl::ChargerTest() { return AskByte(impl(), CommandFrame(kCmdChargerTest), 500); }

int16_t CHalvexCtrl::EEPROMTest() { return AskByte(impl(), CommandFrame(kCmdEepromTest), 10000); }

int16_t CHalvexCtrl::BromTest(int16_t cmd, int16_t /*data*/) {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  if (cmd >= 1 && cmd <= 5) {
    auto frame = CommandFrame(static_cast<uint8_t>(cmd));
    Post(d, frame);
    return 0;
  }
  if (cmd == 6) return AskByte(d, CommandFrame(0x06), 1000);
  return 0;
}

// Device memory on the device itself: single bytes, blocks and texts (commands 0x0F and 0x10).
#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"
#include "protocol/Frame.h"
#include "protocol/LinkIo.h"
#include "protocol/MemoryImages.h"
#include "transport/Transport.h"

using halvex::CaptureScope;
using halvex::Exchange;
using halvex::ReplyByte;

namespace {

// A read answer starts with the four request bytes: 0F count X Y.
constexpr int kEchoBytes = 4;
// The count travels as one byte.
constexpr int kMaxReadCount = 255;
// How long the rest of a block read's answer may take once it began.
constexpr int kBlockSettleMs = 300;
// Addresses on the wire: a page has 256, the extended memory 32,768.
constexpr long kPageAddresses = 256;

// The range of a read lies inside what its address bytes can name: an address past a page's end
// would reach the device as another address of the same page.
bool ReadRangeFits(int16_t addr, int16_t page, int count) {
  const long end = (page == 0 || page == 1) ? kPageAddresses : halvex::kExtendedImageSize;
  return addr >= 0 && long{addr} + count <= end;
}

// Reads count bytes from page p into its image at startAddr (ReadPage1, ReadPage2).
bool ReadPageRange(CHalvexCtrl::Impl& d, int16_t page, int16_t startAddr, int16_t stopaddr) {
  if (!d.HasLink()) return false;
  const int count = stopaddr - startAddr;
  // The range has to lie inside the 255-byte image.
  if (startAddr < 0 || count < 0 || startAddr + count > halvex::kPageImageSize) return false;
  CaptureScope capture(d);
  d.DrawProgress(1, 31, page == 0 ? "Reading Eeprom Page 0..." : "Reading Eeprom Page 1...");
  auto frame = halvex::CommandFrame(0x0F, {count, page, startAddr});
  if (!Exchange(d, frame, 1000)) return false;
  CHalvexCtrl::Impl::SleepMs(200);
  const auto captured = halvex::TakeCapturedBytes(d, count + kEchoBytes);
  bool complete = captured.size() == static_cast<size_t>(count + kEchoBytes);
  if (captured.size() > kEchoBytes) {
    halvex::CopyIntoImage(halvex::ImageForBlock(d.proto, page), startAddr,
                          std::span(captured).subspan(kEchoBytes));
  }
  d.ClearProgress();
  // A short answer leaves part of the range unread: that is not a successful read.
  return complete;
}

}  // namespace

int16_t CHalvexCtrl::ReadEepromVal(int16_t addr, int16_t page) {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  d.DrawProgress(
      1, 31,
      "Reading Eeprom Value... Addr:" + std::to_string(addr) + " Page:" + std::to_string(page));
  auto frame = halvex::MemoryReadFrame(1, addr, page);
  const bool answered = Exchange(d, frame, 3000);
  d.ClearProgress();
  return answered ? ReplyByte(d, kEchoBytes) : -1;
}

int16_t CHalvexCtrl::SetEepromVal(int16_t addr, int16_t data, int16_t page) {
  Impl& d = impl();
  if (!d.HasLink()) return -1;
  const int16_t value[1] = {data};
  auto frame = halvex::MemoryWriteFrame(addr, page, value);
  if (!Exchange(d, frame, 3000)) return -1;
  return ReplyByte(d, 0);
}

bool CHalvexCtrl::ReadEepromBlock(int16_t startAddr, int16_t page, int16_t blockLen) {
  Impl& d = impl();
  if (!d.HasLink()) return false;
  // The count travels as one byte; a larger block cannot be asked for in one read.
  if (blockLen < 0 || blockLen > kMaxReadCount) return false;
  CaptureScope capture(d);
  auto frame = halvex::MemoryReadFrame(blockLen, startAddr, page);
  if (!Exchange(d, frame, 3000)) return false;
  Impl::SleepMs(300);
  auto captured = halvex::TakeCapturedBytes(d, blockLen + kEchoBytes);
  if (captured.size() > kEchoBytes) {
    // Bytes that would fall outside the image are left out.
    halvex::CopyIntoImage(halvex::ImageForBlock(d.proto, page), startAddr,
                          std::span(captured).subspan(kEchoBytes));
  }
  // A short answer is a failed read: no event with bytes that never came.
  if (captured.size() != static_cast<size_t>(blockLen + kEchoBytes)) return false;
  std::vector<int16_t> elems(captured.begin(), captured.end());
  halvex::NotifyEepromBlockData(d, elems.data(), blockLen, startAddr, page);
  return true;
}

bool CHalvexCtrl::ReadEepromBlockNow(int16_t startAddr, int16_t page, int16_t blockLen,
                                     int16_t* data) {
  Impl& d = impl();
  halvex::Transport* way = d.active.load();
  if (way == nullptr) return false;
  if (blockLen < 0 || blockLen > kMaxReadCount || (blockLen > 0 && data == nullptr)) return false;
  if (!ReadRangeFits(startAddr, page, blockLen)) return false;
  CaptureScope capture(d);
  d.TakeCaptured(0, nullptr);  // what came before the request is no part of its answer
  auto frame = halvex::MemoryReadFrame(blockLen, startAddr, page);
  if (!Exchange(d, frame, 3000)) return false;
  const int whole = blockLen + kEchoBytes;
  way->AwaitCaptured(whole, kBlockSettleMs);
  // One byte more than the answer holds tells an answer that is too long.
  const auto captured = halvex::TakeCapturedBytes(d, whole + 1);
  if (captured.size() != static_cast<size_t>(whole)) return false;
  const halvex::MemAddress at = halvex::MemoryAddressBytes(startAddr, page);
  const uint8_t echo[kEchoBytes] = {0x0F, static_cast<uint8_t>(blockLen), at.x, at.y};
  if (!std::equal(echo, echo + kEchoBytes, captured.begin())) return false;
  std::copy(captured.begin() + kEchoBytes, captured.end(), data);
  return true;
}

bool CHalvexCtrl::ReadPage1(int16_t startAddr, int16_t stopaddr) {
  return ReadPageRange(impl(), 0, startAddr, stopaddr);
}

bool CHalvexCtrl::ReadPage2(int16_t startAddr, int16_t stopaddr) {
  return ReadPageRange(impl(), 1, startAddr, stopaddr);
}

bool CHalvexCtrl::WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) {
  Impl& d = impl();
  if (!d.HasLink()) return false;
  if (length < 0 || length > halvex::kMaxWriteData) return false;
  std::vector<int16_t> values;
  if (data != nullptr) {
    values.assign(data, data + length);
  } else {
    // Without data the bytes come from the image, which must hold the whole block.
    auto image = halvex::ImageForBlock(d.proto, page);
    if (image.empty() || addr < 0 || static_cast<size_t>(addr) + length > image.size()) {
      return false;
    }
    values.assign(image.begin() + addr, image.begin() + addr + length);
  }
  d.DrawProgress(1, 31,
                 "Sending Eeprom Settings.. Addr:" + std::to_string(addr) +
                     " Length:" + std::to_string(length) + " Page:" + std::to_string(page));
  auto frame = halvex::MemoryWriteFrame(addr, page, values);
  return Exchange(d, frame, 4000);
}

bool CHalvexCtrl::WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) {
  Impl& d = impl();
  if (!d.HasLink()) return false;
  if (txt.size() > static_cast<size_t>(halvex::kMaxWriteData)) return false;
  std::vector<int16_t> values;
  for (char c : txt) values.push_back(static_cast<unsigned char>(c));
  auto frame = halvex::MemoryWriteFrame(address, page, values);
  return Exchange(d, frame, 3000);
}

std::string CHalvexCtrl::ReadEepStr(int16_t addr, int16_t page, int16_t txtLen) {
  Impl& d = impl();
  if (!d.HasLink()) return "NoComm";
  if (txtLen < 0 || txtLen > kMaxReadCount) return "NoComm";
  CaptureScope capture(d);
  auto frame = halvex::MemoryReadFrame(txtLen, addr, page);
  if (!Exchange(d, frame, 3000)) return "NoComm";
  Impl::SleepMs(150);
  const auto captured = halvex::TakeCapturedBytes(d, txtLen + kEchoBytes);
  if (captured.size() <= kEchoBytes) return "";
  // Zero bytes stay in the text: the caller asked for txtLen bytes, not for a C string.
  return halvex::BytesAsText(captured.data() + kEchoBytes, captured.size() - kEchoBytes);
}

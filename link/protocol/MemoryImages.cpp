// Operations on the memory images only; no device traffic.
#include "protocol/MemoryImages.h"

#include <string>

#include "halvex/HalvexCtrl.h"
#include "interface/LinkState.h"

namespace halvex {

std::span<uint8_t> ImageForRead(ProtocolState& s, int16_t page) {
  if (page == 0) return s.page0;
  if (page == 1) return s.page1;
  return {s.extended.get(), kExtendedImageSize};
}

std::span<uint8_t> ImageForWrite(ProtocolState& s, int16_t page) {
  if (page < 0) return {};
  return ImageForRead(s, page);
}

std::span<uint8_t> ImageForBlock(ProtocolState& s, int16_t page) {
  if (page < 0 || page > 2) return {};
  return ImageForRead(s, page);
}

void CopyIntoImage(std::span<uint8_t> image, int start, std::span<const uint8_t> data) {
  const long size = static_cast<long>(image.size());
  for (size_t i = 0; i < data.size(); ++i) {
    const long at = static_cast<long>(start) + static_cast<long>(i);
    if (at >= 0 && at < size) image[static_cast<size_t>(at)] = data[i];
  }
}

}  // namespace halvex

int16_t CHalvexCtrl::GetEepByte(int16_t page, int16_t addr) {
  auto image = halvex::ImageForRead(impl().proto, page);
  // Outside the image there is no byte: -1 rather than a read past its end.
  if (addr < 0 || static_cast<size_t>(addr) >= image.size()) return -1;
  return image[static_cast<size_t>(addr)];
}

void CHalvexCtrl::SetEepByte(int16_t page, int16_t addr, int16_t data) {
  auto image = halvex::ImageForWrite(impl().proto, page);
  if (addr < 0 || static_cast<size_t>(addr) >= image.size()) return;
  image[static_cast<size_t>(addr)] = static_cast<uint8_t>(data & 0xFF);
}

std::string CHalvexCtrl::ReadMemStr(int16_t addr, int16_t page, int16_t txtLen) {
  auto image = halvex::ImageForWrite(impl().proto, page);
  std::string text;
  for (int i = 0; i < txtLen; ++i) {
    const long at = static_cast<long>(addr) + i;
    if (at < 0 || static_cast<size_t>(at) >= image.size()) break;
    const uint8_t b = image[static_cast<size_t>(at)];
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  return text;
}

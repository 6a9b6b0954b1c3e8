#include "params/RecordingParamLink.h"

#include "params/MemoryBounds.h"

namespace qelta {

namespace {

// The most data bytes one memory-write frame of the link carries.
constexpr int kMaxFrameData = 249;

}  // namespace

bool RecordingParamLink::Connect(int16_t /*comPort*/, int16_t /*baud*/) {
  connected_ = true;
  return true;
}

uint32_t RecordingParamLink::ConnectTCP(uint32_t /*address*/, uint16_t /*port*/) {
  connected_ = true;
  return 0;
}

// The images as the link chooses them: a read takes the extended memory for any page but 0 and
// 1; a write (and a text taken from an image) has none for a negative page.
uint8_t* RecordingParamLink::Image(int16_t page, std::size_t& size) {
  if (page == 0 || page == 1) {
    size = page0_.size();
    return page == 0 ? page0_.data() : page1_.data();
  }
  size = extended_.size();
  return extended_.data();
}

int16_t RecordingParamLink::GetEepByte(int16_t page, int16_t addr) {
  std::size_t size = 0;
  const uint8_t* image = Image(page, size);
  if (addr < 0 || static_cast<std::size_t>(addr) >= size) return -1;
  return image[addr];
}

void RecordingParamLink::SetEepByte(int16_t page, int16_t addr, int16_t data) {
  if (page < 0) return;
  std::size_t size = 0;
  uint8_t* image = Image(page, size);
  if (addr < 0 || static_cast<std::size_t>(addr) >= size) return;
  image[addr] = static_cast<uint8_t>(data & 0xFF);
}

std::string RecordingParamLink::ReadMemStr(int16_t addr, int16_t page, int16_t txtLen) {
  std::string text;
  if (page < 0) return text;
  std::size_t size = 0;
  const uint8_t* image = Image(page, size);
  for (int i = 0; i < txtLen; ++i) {
    const long at = long{addr} + i;
    if (at < 0 || static_cast<std::size_t>(at) >= size || image[at] == 0) break;
    text.push_back(static_cast<char>(image[at]));
  }
  return text;
}

bool RecordingParamLink::Record(int16_t addr, int16_t page, std::vector<uint8_t> bytes) {
  const WriteLanding landing = LandWrite(type_, addr, page, bytes.size());
  RecordedWrite write;
  write.source = source_;
  write.page = landing.page;
  write.address = landing.address;
  write.refused = landing.refused;
  const bool empty = bytes.empty();
  write.bytes = std::move(bytes);
  // A frame without data changes nothing on the device: there is nothing to show.
  if (!empty) writes_.push_back(std::move(write));
  return !landing.refused;
}

int16_t RecordingParamLink::SetEepromVal(int16_t addr, int16_t data, int16_t page) {
  if (!connected_) return -1;
  return Record(addr, page, {static_cast<uint8_t>(data & 0xFF)}) ? kAccepted : kRefused;
}

bool RecordingParamLink::WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length,
                                            int16_t* data) {
  if (!connected_ || length < 0 || length > kMaxFrameData) return false;
  std::vector<uint8_t> bytes;
  if (data != nullptr) {
    for (int i = 0; i < length; ++i) bytes.push_back(static_cast<uint8_t>(data[i] & 0xFF));
  } else {
    // Without data the bytes come from the image, which must hold the whole block.
    if (page < 0 || page > 2) return false;
    std::size_t size = 0;
    const uint8_t* image = Image(page, size);
    if (addr < 0 || static_cast<std::size_t>(addr) + length > size) return false;
    bytes.assign(image + addr, image + addr + length);
  }
  Record(addr, page, std::move(bytes));
  return true;  // the device answers a refused write too
}

bool RecordingParamLink::WriteStringToEeprom(int16_t address, int16_t page,
                                             const std::string& txt) {
  if (!connected_ || txt.size() > static_cast<std::size_t>(kMaxFrameData)) return false;
  Record(address, page, std::vector<uint8_t>(txt.begin(), txt.end()));
  return true;
}

bool RecordingParamLink::SendAndWait(int16_t* /*buf*/, int16_t /*length*/, int16_t /*waitTime*/) {
  return connected_;
}

}  // namespace qelta

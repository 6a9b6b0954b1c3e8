// A device that exists only as a model, for dry runs of the configuration upload: it answers like
// a device of the chosen type that takes every frame, keeps the link's memory images as the link
// does, and records every memory write with the file line that caused it. Nothing leaves the
// process (no port, no network) and nothing waits.
//
// Where a write lands follows the wire's address bytes X and Y (LandWrite, params/MemoryBounds.h):
// a type 8 device has one 16-bit address space X*256+Y (shown as page 2); any other type has only
// its two EEPROM pages of 256 bytes (X = 0 or 1, address Y). A write that LandWrite refuses is
// answered but kept nowhere: it is recorded as refused. (The upload itself sends no such write.)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "params/ParamLink.h"

namespace qelta {

struct RecordedWrite {
  int16_t page = 0;      // where the bytes land: 0 or 1 (EEPROM pages), 2 (extended memory)
  uint32_t address = 0;  // of the first byte, within that page
  std::vector<uint8_t> bytes;
  std::string source;    // what the upload was performing ("line 12: LCD_CONTRAST:60")
  bool refused = false;  // runs past the device's memory: nothing of it is kept
};

class RecordingParamLink final : public ParamLink {
 public:
  // The status bytes the model answers to a memory write.
  static constexpr int16_t kAccepted = 0x06;
  static constexpr int16_t kRefused = 0x15;

  explicit RecordingParamLink(int16_t deviceType) : type_(deviceType) {}

  bool Connect(int16_t comPort, int16_t baud) override;
  uint32_t ConnectTCP(uint32_t address, uint16_t port) override;
  void Disconnect() override { connected_ = false; }
  int16_t GetDevice() override { return connected_ ? type_ : int16_t{-1}; }
  void Reset() override { ++resets_; }
  // The model knows only what was written: reads have no device to answer them.
  int16_t ReadEepromVal(int16_t, int16_t) override { return -1; }
  int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page) override;
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) override;
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) override;
  bool ReadEepromBlock(int16_t, int16_t, int16_t) override { return false; }
  int16_t GetEepByte(int16_t page, int16_t addr) override;
  void SetEepByte(int16_t page, int16_t addr, int16_t data) override;
  std::string ReadEepStr(int16_t, int16_t, int16_t) override { return "NoComm"; }
  std::string ReadMemStr(int16_t addr, int16_t page, int16_t txtLen) override;
  std::string GetID() override { return "NoComm"; }
  // Frames other than memory writes (a scanner setting) are taken as answered.
  bool SendAndWait(int16_t* buf, int16_t length, int16_t waitTime) override;
  // A dry run does not wait.
  void Pause(int) override {}
  void SetCurrentSource(const std::string& source) override { source_ = source; }

  const std::vector<RecordedWrite>& Writes() const { return writes_; }
  int Resets() const { return resets_; }

 private:
  // Records a write frame's bytes; false when the device would refuse it.
  bool Record(int16_t addr, int16_t page, std::vector<uint8_t> bytes);
  // The link's image of a page: 0, 1 (255 bytes), above 1 the extended memory; negative: none.
  uint8_t* Image(int16_t page, std::size_t& size);

  int16_t type_;
  bool connected_ = false;
  int resets_ = 0;
  std::string source_;
  std::vector<RecordedWrite> writes_;
  std::array<uint8_t, 255> page0_{};
  std::array<uint8_t, 255> page1_{};
  std::vector<uint8_t> extended_ = std::vector<uint8_t>(32768);
};

}  // namespace qelta

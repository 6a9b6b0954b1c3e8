// The protocol's share of the link object's state: the device-information cache, memory images,
// PRP and EEPROM-file tables and the BER receive state.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "halvex/HalvexCtrl.h"
#include "protocol/DeviceInfo.h"

namespace halvex {

inline constexpr int kPageImageSize = 255;
inline constexpr int kExtendedImageSize = 32768;
inline constexpr int kEprTableSize = 256;
inline constexpr int32_t kEprUnset = 300;
inline constexpr size_t kEprCommentMax = 49;
inline constexpr int kPrpEntries = 10;

struct ProtocolState {
  // What ReadInfo read from the device; Connect drops it.
  DeviceInfoCache info;

  // BER receive mode: while on, received batches go to BerReceive instead of the reply handler.
  std::atomic<bool> berMode{false};

  // BER receive state, touched only by the Receive worker (the record itself goes into the
  // link's reply buffer).
  bool berInRecord = false;
  int16_t berPos = 0;

  // Memory images. The pages start cleared; the extended image's contents start undefined on the
  // device side, here they start as zeros.
  std::array<uint8_t, kPageImageSize> page0{};
  std::array<uint8_t, kPageImageSize> page1{};
  std::unique_ptr<uint8_t[]> extended{new uint8_t[kExtendedImageSize]()};

  // PRP table of the last successful read.
  std::array<uint8_t, kPrpEntries> prpLow{};
  std::array<uint8_t, kPrpEntries> prpHigh{};

  // EEPROM-file tables of the last ReadEprFile.
  std::array<int32_t, kEprTableSize> eprPage0{};
  std::array<int32_t, kEprTableSize> eprPage1{};
  std::vector<std::string> eprComments = std::vector<std::string>(kEprTableSize, " ");
  std::vector<std::string> laserCommands;
};

// Hands one received batch to the BER parser (Receive worker thread, BER mode on).
void BerReceive(CHalvexCtrl::Impl& link, const uint8_t* data, size_t n);

}  // namespace halvex

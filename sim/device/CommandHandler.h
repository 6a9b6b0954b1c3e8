#pragma once
// Works out the device's answer to one command frame (everything except boot loading, which the
// boot handler takes).

#include <chrono>
#include <cstdint>
#include <vector>

#include "device/DeviceIdentity.h"
#include "device/DeviceMemory.h"
#include "device/DeviceResponses.h"
#include "device/FrameParser.h"

namespace qelta::sim {

// Command codes as the link sends them.
namespace cmd {
inline constexpr std::uint8_t kBromFirst = 0x01;
inline constexpr std::uint8_t kBromCheck = 0x06;
inline constexpr std::uint8_t kMemoryRead = 0x0F;
inline constexpr std::uint8_t kMemoryWrite = 0x10;
inline constexpr std::uint8_t kLaserOrPrp = 0x11;
inline constexpr std::uint8_t kInformation = 0x12;
inline constexpr std::uint8_t kBootRequest = 0x13;
inline constexpr std::uint8_t kBootLength = 0x14;
inline constexpr std::uint8_t kReset = 0x16;
inline constexpr std::uint8_t kLaserParameter = 0x18;
inline constexpr std::uint8_t kSleepTest = 0x19;
inline constexpr std::uint8_t kDisplayOrTxPower = 0x1A;
inline constexpr std::uint8_t kBacklightOrBer = 0x1B;
inline constexpr std::uint8_t kBeep = 0x1C;
inline constexpr std::uint8_t kScanKeyboard = 0x1D;
inline constexpr std::uint8_t kRfTest = 0x1E;
inline constexpr std::uint8_t kScanLaser = 0x1F;
inline constexpr std::uint8_t kRssi = 0x20;
inline constexpr std::uint8_t kChargerTest = 0x21;
inline constexpr std::uint8_t kEepromTest = 0x22;
inline constexpr std::uint8_t kChargerLed = 0x23;
inline constexpr std::uint8_t kSetSleep = 0x24;
}  // namespace cmd

// One piece of an answer, sent `after` the device's answer delay (BER records go out one by one).
struct AnswerPart {
  std::chrono::milliseconds after{0};
  std::vector<std::uint8_t> bytes;
};

struct CommandOutcome {
  std::vector<AnswerPart> answer;  // empty: the command has no answer
  // The device sleeps (ignores its line) for this long before the answer goes out.
  std::chrono::milliseconds sleep{0};
  bool reset = false;
  bool known = true;
};

struct DeviceState {
  DeviceIdentity identity;
  DeviceMemory memory;
  DeviceResponses responses;
  DeviceActivity activity;
};

CommandOutcome HandleCommand(const CommandFrame& frame, DeviceState& state);

// One BER record: 01 N, five header bytes, N payload bytes, two trailer bytes.
std::vector<std::uint8_t> MakeBerRecord(std::uint8_t mark, std::uint8_t sequence,
                                        std::uint8_t count, std::uint8_t payload_length);

}  // namespace qelta::sim

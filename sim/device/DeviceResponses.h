#pragma once
// The values a simulated device reports from its sensors and tests. The link hands these bytes
// through unchanged, so any values do; tests set their own to see them come back.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qelta::sim {

// Status byte of a command that worked / was refused.
inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;

struct DeviceResponses {
  // ScanLaser (0x1F): the text of the scanned bar code.
  std::string scanned_text = "4006381333931";
  // GetRSSI (0x20 n): the answer is 0x20 and then n readings; reading k (1..n) is
  // rssi + k - 40, so the reading at answer position 40 is exactly `rssi`.
  std::uint8_t rssi = 0x4B;
  // ScanKeyboard (0x1D): code of the key being held.
  std::uint8_t key_code = 0x31;
  // ChargerTest (0x21): charger state.
  std::uint8_t charger_state = 0x01;
  // EEPROMTest (0x22): result of the memory self-test.
  std::uint8_t eeprom_test_result = kAck;
  // BromTest 6 (0x06): result of the boot ROM check.
  std::uint8_t brom_result = kAck;
  // SleepTest (0x19): answer after waking up.
  std::uint8_t sleep_result = kAck;
  // WriteLaser (0x11 with arguments) and a scanner setting (0x18 a b): the acknowledgement.
  std::uint8_t laser_result = kAck;
  // RFTest (0x1E n): characters that came back; -1 means all n of them.
  int rf_echoed = -1;
  // PRP table (0x11 without arguments): ten pairs, answered low 0, high 0, low 1, ...
  std::array<std::uint8_t, 10> prp_low{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19};
  std::array<std::uint8_t, 10> prp_high{0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89};
  // BER (0x1B mrk cnt): payload bytes per record and the pause between records.
  std::uint8_t ber_payload_length = 16;
  std::uint32_t ber_record_interval_ms = 20;
};

// What the device was told to do by commands that have no answer, for tests to look at.
struct DeviceActivity {
  std::uint32_t frames_received = 0;
  std::uint32_t resets = 0;
  std::uint32_t unknown_frames = 0;
  std::vector<std::string> laser_commands;  // WriteLaser texts, in order
  // Scanner settings (0x18 a b, a configuration file's LASER_PARAM lines): a * 256 + b, in order.
  std::vector<std::uint16_t> laser_parameters;
  std::vector<std::uint8_t> displayed;      // DisplayTest / SetTxPower arguments, in order
  std::vector<std::uint8_t> beeps;          // BeepTest durations
  std::vector<std::uint8_t> brom_commands;  // BromTest codes 1..6
  std::uint8_t tx_power = 0;
  bool backlight = false;
  bool charger_led = false;
  bool sleep_requested = false;  // SetSleep
  std::uint32_t ber_records_sent = 0;
};

}  // namespace qelta::sim

#include "device/CommandHandler.h"

#include <string>

namespace qelta::sim {

namespace {

using std::chrono::milliseconds;

CommandOutcome Answer(std::vector<std::uint8_t> bytes) {
  CommandOutcome outcome;
  outcome.answer.push_back({milliseconds{0}, std::move(bytes)});
  return outcome;
}

CommandOutcome NoAnswer() { return {}; }

std::uint8_t ArgOr(const CommandFrame& frame, std::size_t i, std::uint8_t fallback) {
  return i < frame.args.size() ? frame.args[i] : fallback;
}

// 0F count X Y: echo of the request, then the data. A range outside the memory is refused.
CommandOutcome MemoryRead(const CommandFrame& frame, DeviceState& state) {
  if (frame.args.size() != 3) return Answer({kNak});
  const std::uint8_t count = frame.args[0];
  auto at = state.memory.Resolve(frame.args[1], frame.args[2], count);
  if (!at) return Answer({kNak});
  std::vector<std::uint8_t> answer{cmd::kMemoryRead, count, frame.args[1], frame.args[2]};
  state.memory.Read(*at, count, answer);
  return Answer(std::move(answer));
}

// 10 count X Y data...: one status byte. A count that does not match the data, or a range outside
// the memory, writes nothing.
CommandOutcome MemoryWrite(const CommandFrame& frame, DeviceState& state) {
  if (frame.args.size() < 3 || frame.args.size() != 3u + frame.args[0]) return Answer({kNak});
  const std::uint8_t count = frame.args[0];
  auto at = state.memory.Resolve(frame.args[1], frame.args[2], count);
  if (!at) return Answer({kNak});
  state.memory.Write(*at, std::span<const std::uint8_t>(frame.args).subspan(3, count));
  return Answer({kAck});
}

// 0x11 without arguments asks for the PRP table; with arguments it carries a scanner command:
// length, then the characters.
CommandOutcome LaserOrPrp(const CommandFrame& frame, DeviceState& state) {
  const DeviceResponses& r = state.responses;
  if (frame.args.empty()) {
    std::vector<std::uint8_t> table;
    for (std::size_t i = 0; i < r.prp_low.size(); ++i) {
      table.push_back(r.prp_low[i]);
      table.push_back(r.prp_high[i]);
    }
    return Answer(std::move(table));
  }
  if (frame.args.size() != 1u + frame.args[0]) return Answer({kNak});
  state.activity.laser_commands.emplace_back(frame.args.begin() + 1, frame.args.end());
  return Answer({r.laser_result});
}

CommandOutcome BacklightOrBer(const CommandFrame& frame, DeviceState& state) {
  if (frame.args.size() == 2) {
    // A BER run: `count` records, one after the other.
    const std::uint8_t mark = frame.args[0];
    const std::uint8_t count = frame.args[1];
    const DeviceResponses& r = state.responses;
    CommandOutcome outcome;
    for (std::uint8_t i = 0; i < count; ++i) {
      outcome.answer.push_back(
          {milliseconds{static_cast<long>(i + 1) * r.ber_record_interval_ms},
           MakeBerRecord(mark, static_cast<std::uint8_t>(i + 1), count, r.ber_payload_length)});
    }
    state.activity.ber_records_sent += count;
    return outcome;
  }
  state.activity.backlight = ArgOr(frame, 0, 0) != 0;
  return NoAnswer();
}

CommandOutcome Rssi(const CommandFrame& frame, DeviceState& state) {
  const std::uint8_t readings = ArgOr(frame, 0, 50);
  std::vector<std::uint8_t> answer{cmd::kRssi};
  for (int k = 1; k <= readings; ++k) {
    answer.push_back(static_cast<std::uint8_t>(state.responses.rssi + k - 40));
  }
  return Answer(std::move(answer));
}

}  // namespace

std::vector<std::uint8_t> MakeBerRecord(std::uint8_t mark, std::uint8_t sequence,
                                        std::uint8_t count, std::uint8_t payload_length) {
  std::vector<std::uint8_t> record{0x01, payload_length, mark, sequence, count, 0x00, 0x00};
  unsigned sum = 0;
  for (unsigned i = 0; i < payload_length; ++i) {
    const auto b = static_cast<std::uint8_t>(mark + sequence + i);
    record.push_back(b);
    sum += b;
  }
  record.push_back(static_cast<std::uint8_t>((sum >> 8) & 0xFF));
  record.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  return record;
}

CommandOutcome HandleCommand(const CommandFrame& frame, DeviceState& state) {
  DeviceActivity& activity = state.activity;
  const DeviceResponses& r = state.responses;
  switch (frame.code) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x05:
      activity.brom_commands.push_back(frame.code);
      return NoAnswer();
    case cmd::kBromCheck:
      activity.brom_commands.push_back(frame.code);
      return Answer({r.brom_result});
    case cmd::kMemoryRead:
      return MemoryRead(frame, state);
    case cmd::kMemoryWrite:
      return MemoryWrite(frame, state);
    case cmd::kLaserOrPrp:
      return LaserOrPrp(frame, state);
    case cmd::kInformation:
      return Answer(state.identity.InformationAnswer());
    case cmd::kReset: {
      ++activity.resets;
      CommandOutcome outcome;
      outcome.reset = true;
      return outcome;
    }
    case cmd::kLaserParameter:
      // One scanner setting of a configuration file: two argument bytes, acknowledged.
      if (frame.args.size() != 2) return Answer({kNak});
      activity.laser_parameters.push_back(
          static_cast<std::uint16_t>(frame.args[0] << 8 | frame.args[1]));
      return Answer({r.laser_result});
    case cmd::kSleepTest: {
      CommandOutcome outcome = Answer({r.sleep_result});
      outcome.sleep = milliseconds{1000L * ArgOr(frame, 0, 0)};
      return outcome;
    }
    case cmd::kDisplayOrTxPower: {
      // The same frame serves DisplayTest (no answer awaited) and SetTxPower (the level comes
      // back as accepted); answering both does no harm.
      const std::uint8_t value = ArgOr(frame, 0, 0);
      activity.displayed.push_back(value);
      activity.tx_power = value;
      return Answer({value});
    }
    case cmd::kBacklightOrBer:
      return BacklightOrBer(frame, state);
    case cmd::kBeep:
      activity.beeps.push_back(ArgOr(frame, 0, 0));
      return NoAnswer();
    case cmd::kScanKeyboard:
      return Answer({r.key_code});
    case cmd::kRfTest: {
      const std::uint8_t sent = ArgOr(frame, 0, 0);
      return Answer({r.rf_echoed < 0 ? sent : static_cast<std::uint8_t>(r.rf_echoed)});
    }
    case cmd::kScanLaser:
      return Answer(std::vector<std::uint8_t>(r.scanned_text.begin(), r.scanned_text.end()));
    case cmd::kRssi:
      return Rssi(frame, state);
    case cmd::kChargerTest:
      return Answer({r.charger_state});
    case cmd::kEepromTest:
      return Answer({r.eeprom_test_result});
    case cmd::kChargerLed:
      activity.charger_led = ArgOr(frame, 0, 0) != 0;
      return NoAnswer();
    case cmd::kSetSleep:
      activity.sleep_requested = true;
      return NoAnswer();
    default:
      break;
  }
  ++activity.unknown_frames;
  CommandOutcome outcome;
  outcome.known = false;
  return outcome;
}

}  // namespace qelta::sim

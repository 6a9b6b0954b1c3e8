#include "device/BootRomLoader.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "device/SimDevice.h"

namespace qelta::sim {
namespace {

constexpr std::uint8_t kBootRequestCode = 0x13;
constexpr std::uint8_t kBootLengthCode = 0x14;
constexpr std::uint8_t kWakeUpByte = 0x00;
constexpr std::uint8_t kStartByte = 0x55;
constexpr std::uint8_t kStartAnswer = 0xAA;
constexpr std::uint8_t kBlockAccepted = 0x0A;
constexpr std::uint8_t kBlockRejected = 0xEE;
constexpr std::uint8_t kEndOfRecords = 0xFF;
constexpr std::size_t kRecordHeader = 3;  // length, address high, address low
constexpr std::size_t kBlockHeader = 2;   // address high, address low

}  // namespace

BootRomLoader::BootRomLoader(const BootLoaderKnobs& knobs)
    : knobs_(knobs), flash_(kFlashSize, 0xFF) {}

BootRomLoader& BootRomLoader::InstallInto(SimDevice& device, const BootLoaderKnobs& knobs) {
  auto loader = std::make_unique<BootRomLoader>(knobs);
  BootRomLoader& ref = *loader;
  device.SetBootHandler(std::move(loader));
  return ref;
}

void BootRomLoader::SetKnobs(const BootLoaderKnobs& knobs) {
  std::lock_guard lock(mutex_);
  knobs_ = knobs;
}

BootPhase BootRomLoader::Phase() const {
  std::lock_guard lock(mutex_);
  return phase_;
}

std::vector<std::uint8_t> BootRomLoader::Flash() const {
  std::lock_guard lock(mutex_);
  return flash_;
}

void BootRomLoader::RestoreFlash(std::span<const std::uint8_t> contents) {
  std::lock_guard lock(mutex_);
  const std::size_t n = std::min(contents.size(), flash_.size());
  std::copy(contents.begin(), contents.begin() + static_cast<std::ptrdiff_t>(n), flash_.begin());
}

std::vector<std::uint8_t> BootRomLoader::Bootstrap() const {
  std::lock_guard lock(mutex_);
  return bootstrap_;
}

std::vector<std::uint16_t> BootRomLoader::RecordAddresses() const {
  std::lock_guard lock(mutex_);
  return record_addresses_;
}

std::vector<std::uint16_t> BootRomLoader::BlockAddresses() const {
  std::lock_guard lock(mutex_);
  return block_addresses_;
}

bool BootRomLoader::Finished() const {
  std::lock_guard lock(mutex_);
  return phase_ == BootPhase::kDone;
}

bool BootRomLoader::Silent(BootStage stage) const { return knobs_.silent_at == stage; }

void BootRomLoader::EnterPhaseLocked(BootPhase phase) {
  phase_ = phase;
  pending_.clear();
  if (phase == BootPhase::kRomStream || phase == BootPhase::kUpdateStream) {
    // A new load begins.
    bootstrap_.clear();
    echo_stopped_ = false;
    records_ = 0;
    blocks_ = 0;
    record_addresses_.clear();
    block_addresses_.clear();
  }
}

bool BootRomLoader::OnFrame(const CommandFrame& frame, BootControl& device,
                            std::vector<std::uint8_t>& answer) {
  std::lock_guard lock(mutex_);
  if (frame.code == kBootRequestCode) {
    if (!Silent(BootStage::kBootRequest)) answer.push_back(knobs_.boot_request_answer);
    return true;
  }
  if (frame.code != kBootLengthCode || frame.args.size() != 2) return false;
  if (Silent(BootStage::kBootLength)) return true;
  answer.push_back(knobs_.boot_length_answer);
  if (knobs_.boot_length_answer != 'G') return true;

  switching_ = true;
  device.SetBootMode(true);
  switching_ = false;
  EnterPhaseLocked(BootPhase::kUpdateStream);
  bootstrap_expected_ = static_cast<std::size_t>(frame.args[0]) << 8 | frame.args[1];
  if (bootstrap_expected_ == 0) {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    EnterPhaseLocked(BootPhase::kRecords);
    if (!Silent(BootStage::kErase)) device.AnswerLater({knobs_.erase_answer}, knobs_.erase_time);
  }
  return true;
}

void BootRomLoader::OnModeChange(bool boot_mode) {
  std::lock_guard lock(mutex_);
  if (switching_) return;
  // Put into boot mode by hand: the ROM loader starts from scratch.
  EnterPhaseLocked(boot_mode ? BootPhase::kRomWakeUp : BootPhase::kNormal);
}

void BootRomLoader::OnBootBytes(std::span<const std::uint8_t> bytes, BootControl& device,
                                std::vector<std::uint8_t>& answer) {
  std::lock_guard lock(mutex_);
  for (std::uint8_t b : bytes) {
    switch (phase_) {
      case BootPhase::kRomWakeUp:
        if (b == kWakeUpByte && !Silent(BootStage::kWakeUp)) {
          answer.push_back(kWakeUpByte);
          phase_ = BootPhase::kRomStart;
        }
        break;
      case BootPhase::kRomStart:
        if (b == kStartByte && !Silent(BootStage::kStart)) {
          answer.push_back(kStartAnswer);
          EnterPhaseLocked(BootPhase::kRomStream);
        }
        break;
      case BootPhase::kRomStream:
      case BootPhase::kUpdateStream:
        StreamByte(b, device, answer);
        break;
      case BootPhase::kRecords:
        RecordByte(b, device, answer);
        // The end marker restarts the device in normal mode: the rest of the chunk is dropped.
        if (phase_ == BootPhase::kDone) return;
        break;
      case BootPhase::kBlocks:
        BlockByte(b, answer);
        break;
      case BootPhase::kNormal:
      case BootPhase::kDone:
        break;
    }
  }
}

void BootRomLoader::StreamByte(std::uint8_t b, BootControl& device,
                               std::vector<std::uint8_t>& answer) {
  const std::size_t n = bootstrap_.size();
  if (echo_stopped_ || (knobs_.missing_echo_at && n >= *knobs_.missing_echo_at)) {
    // A loader that lost the line hears nothing more.
    echo_stopped_ = true;
    return;
  }
  bootstrap_.push_back(b);
  const bool wrong = knobs_.wrong_echo_at && *knobs_.wrong_echo_at == n;
  answer.push_back(wrong ? static_cast<std::uint8_t>(~b) : b);

  if (phase_ == BootPhase::kRomStream) {
    if (bootstrap_.size() < 2) return;
    const std::size_t length = static_cast<std::size_t>(bootstrap_[0]) << 8 | bootstrap_[1];
    if (bootstrap_.size() < length + 2) return;
    // The bootstrap runs and erases the flash before it takes the firmware.
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    phase_ =
        knobs_.rom_bootstrap == BootstrapKind::kRecords ? BootPhase::kRecords : BootPhase::kBlocks;
    pending_.clear();
    return;
  }
  if (bootstrap_.size() < bootstrap_expected_) return;
  // The update bootstrap erases the flash, says so, and takes records.
  std::fill(flash_.begin(), flash_.end(), 0xFF);
  phase_ = BootPhase::kRecords;
  pending_.clear();
  // Answers leave in the order they are queued: the echo goes first, the erase answer after it.
  device.AnswerLater(std::move(answer), std::chrono::milliseconds(0));
  answer.clear();
  if (!Silent(BootStage::kErase)) device.AnswerLater({knobs_.erase_answer}, knobs_.erase_time);
}

void BootRomLoader::RecordByte(std::uint8_t b, BootControl& device,
                               std::vector<std::uint8_t>& answer) {
  if (pending_.empty() && b == kEndOfRecords) {
    phase_ = BootPhase::kDone;
    if (!Silent(BootStage::kProgramming)) answer.push_back(kBlockAccepted);
    switching_ = true;
    device.SetBootMode(false);
    switching_ = false;
    return;
  }
  pending_.push_back(b);
  if (pending_.size() < kRecordHeader || pending_.size() < kRecordHeader + pending_[0]) return;

  const std::size_t address = static_cast<std::size_t>(pending_[1]) << 8 | pending_[2];
  std::uint8_t sum = 0;
  for (std::size_t i = kRecordHeader; i < pending_.size(); ++i) {
    sum = static_cast<std::uint8_t>(sum + pending_[i]);
    const std::size_t at = address + (i - kRecordHeader);
    if (at < flash_.size()) flash_[at] = pending_[i];
  }
  if (knobs_.wrong_checksum_at && *knobs_.wrong_checksum_at == records_) {
    sum = static_cast<std::uint8_t>(sum + 1);
  }
  if (!Silent(BootStage::kProgramming)) answer.push_back(sum);
  record_addresses_.push_back(static_cast<std::uint16_t>(address));
  ++records_;
  pending_.clear();
}

void BootRomLoader::BlockByte(std::uint8_t b, std::vector<std::uint8_t>& answer) {
  pending_.push_back(b);
  if (pending_.size() < kBlockHeader + kBlockData) return;

  const std::size_t address = static_cast<std::size_t>(pending_[0]) << 8 | pending_[1];
  const bool rejected = knobs_.reject_block_at && *knobs_.reject_block_at == blocks_;
  if (!rejected) {
    for (std::size_t i = 0; i < kBlockData; ++i) {
      if (address + i < flash_.size()) flash_[address + i] = pending_[kBlockHeader + i];
    }
  }
  if (!Silent(BootStage::kProgramming))
    answer.push_back(rejected ? kBlockRejected : kBlockAccepted);
  block_addresses_.push_back(static_cast<std::uint16_t>(address));
  ++blocks_;
  pending_.clear();
}

}  // namespace qelta::sim

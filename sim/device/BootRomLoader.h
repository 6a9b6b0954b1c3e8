#pragma once
// The device's loaders, as a boot-mode handler of SimDevice:
//
// * the ROM loader, entered by hand (SimDevice::SetBootMode(true)): answers the wake-up bytes
//   0x00 with 0x00 and the start byte 0x55 with 0xAA, then receives the bootstrap (length high,
//   length low, data) and echoes every byte;
// * the update loader, entered from normal mode: answers the boot request 02 01 13 03 with 'F'
//   and the boot length 02 03 14 hi lo 03 with 'G', then receives the bootstrap's data bytes with
//   an echo each and, after the flash erase, sends 0xBB;
// * the running bootstrap, which programs the flash: S-records (length, address high, address
//   low, data; answered with the 8-bit sum of the data; a length byte 0xFF ends the load) or
//   binary blocks (address high, address low, 32 data bytes; answered with 0x0A).
//
// The programmed flash (64 KiB, erased 0xFF) and a log of what arrived can be read at any time.
// Knobs make each stage fail the way a real device can.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "device/BootModeHandler.h"

namespace qelta::sim {

class SimDevice;

enum class BootstrapKind {
  kRecords,       // S-record bootstrap
  kBinaryBlocks,  // binary block bootstrap ("hsbt"/"bsbt" firmware)
};

enum class BootStage {
  kNone,
  kWakeUp,       // answer to the 0x00 wake-up bytes
  kStart,        // answer to the start byte 0x55
  kBootRequest,  // answer to 02 01 13 03
  kBootLength,   // answer to 02 03 14 hi lo 03
  kErase,        // 0xBB after the erase
  kProgramming,  // answers of the bootstrap
};

struct BootLoaderKnobs {
  // No answer at this stage.
  BootStage silent_at = BootStage::kNone;
  // Bootstrap byte number n (0 = the first byte streamed) is echoed inverted.
  std::optional<std::size_t> wrong_echo_at;
  // From bootstrap byte number n on, nothing is echoed.
  std::optional<std::size_t> missing_echo_at;
  // Record number n (0 = first) is answered with a wrong checksum.
  std::optional<std::size_t> wrong_checksum_at;
  // Block number n (0 = first) is answered with 0xEE instead of 0x0A (not written).
  std::optional<std::size_t> reject_block_at;
  std::uint8_t boot_request_answer = 'F';
  std::uint8_t boot_length_answer = 'G';
  std::uint8_t erase_answer = 0xBB;
  // Time the update loader takes to erase the flash after the last bootstrap byte. The link
  // reopens its port in between; an answer that came before it listens again would be lost.
  std::chrono::milliseconds erase_time{1200};
  // Which programming protocol the bootstrap loaded through the ROM loader speaks.
  BootstrapKind rom_bootstrap = BootstrapKind::kBinaryBlocks;
};

enum class BootPhase {
  kNormal,        // not in a loader
  kRomWakeUp,     // ROM loader waits for 0x00
  kRomStart,      // ROM loader waits for 0x55
  kRomStream,     // ROM loader receives the prefixed bootstrap
  kUpdateStream,  // update loader receives the bootstrap's data
  kRecords,       // bootstrap takes S-records
  kBlocks,        // bootstrap takes binary blocks
  kDone,          // firmware complete (end marker seen)
};

class BootRomLoader : public BootModeHandler {
 public:
  static constexpr std::size_t kFlashSize = 0x10000;
  static constexpr std::size_t kBlockData = 32;

  explicit BootRomLoader(const BootLoaderKnobs& knobs = {});

  // Installs a new loader into `device` and returns it (owned by the device).
  static BootRomLoader& InstallInto(SimDevice& device, const BootLoaderKnobs& knobs = {});

  void SetKnobs(const BootLoaderKnobs& knobs);

  // --- observation (thread-safe) ---
  BootPhase Phase() const;
  std::vector<std::uint8_t> Flash() const override;
  // Bootstrap bytes received, in order (the ROM loader's include the two length bytes).
  std::vector<std::uint8_t> Bootstrap() const;
  std::vector<std::uint16_t> RecordAddresses() const;
  std::vector<std::uint16_t> BlockAddresses() const;
  bool Finished() const;

  // --- BootModeHandler ---
  bool OnFrame(const CommandFrame& frame, BootControl& device,
               std::vector<std::uint8_t>& answer) override;
  void OnBootBytes(std::span<const std::uint8_t> bytes, BootControl& device,
                   std::vector<std::uint8_t>& answer) override;
  void OnModeChange(bool boot_mode) override;
  void RestoreFlash(std::span<const std::uint8_t> contents) override;

 private:
  bool Silent(BootStage stage) const;
  void StreamByte(std::uint8_t b, BootControl& device, std::vector<std::uint8_t>& answer);
  void RecordByte(std::uint8_t b, BootControl& device, std::vector<std::uint8_t>& answer);
  void BlockByte(std::uint8_t b, std::vector<std::uint8_t>& answer);
  void EnterPhaseLocked(BootPhase phase);

  // Recursive: entering boot mode from OnFrame calls back into OnModeChange.
  mutable std::recursive_mutex mutex_;
  BootLoaderKnobs knobs_;
  BootPhase phase_ = BootPhase::kNormal;
  bool switching_ = false;  // our own mode change, not one made from outside
  bool echo_stopped_ = false;

  std::vector<std::uint8_t> flash_;
  std::vector<std::uint8_t> bootstrap_;
  std::size_t bootstrap_expected_ = 0;  // data bytes announced (update: by the length frame)
  std::vector<std::uint8_t> pending_;   // record or block being received
  std::size_t records_ = 0;
  std::size_t blocks_ = 0;
  std::vector<std::uint16_t> record_addresses_;
  std::vector<std::uint16_t> block_addresses_;
};

}  // namespace qelta::sim

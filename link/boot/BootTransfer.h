// The transfer of a boot load: the boot image streamed into the ROM loader byte by byte, then
// the firmware handed to the running bootstrap, as S-records or as 32-byte binary blocks.
#pragma once

#include <cstdint>

#include "boot/BootLink.h"
#include "boot/BootState.h"

namespace halvex::boot {

// Results of the transfer, shared with Boot's result codes.
enum TransferResult : int16_t {
  kNoFirstEcho = 5,       // no echo of the first bootstrap byte
  kNoEchoOrChecksum = 6,  // no echo of a later byte, or a record checksum not confirmed
  kWrongEcho = 7,         // an echo differed from the byte sent
  kBinaryFailed = 8,      // a binary block was not accepted
  kBinaryDone = 10,       // every binary block accepted
  kRecordsDone = -1,      // S-record programming finished
  kBadProgramFile = 2,    // the program file could not be read or holds a broken record
};

// Binary programming covers the flash below the bootstrap's own area.
inline constexpr uint32_t kFlashEnd = 0xF780;
inline constexpr size_t kBlockSize = 32;
inline constexpr uint8_t kBlockAccepted = 0x0A;

class BootTransfer {
 public:
  BootTransfer(BootLink& link, BootState& state, BootFileMode mode, bool bootType)
      : link_(link), st_(state), mode_(mode), bootType_(bootType) {}

  // Streams the boot image when the bootstrap-phase flag is set, waits for the bootstrap to
  // start, then programs the firmware. Returns a TransferResult.
  int16_t Run();

 private:
  int16_t StreamBootImage();
  int16_t ProgramRecords();
  int16_t ProgramBinary();
  enum class RecordStep { Sent, NoMoreRecords, Broken };
  RecordStep SendNextRecord(bool& answered);
  int16_t StreamFailure(int16_t result, const char* text);
  void DrawAddress(uint32_t address);

  BootLink& link_;
  BootState& st_;
  BootFileMode mode_;
  bool bootType_;
};

}  // namespace halvex::boot

// Any bytes as a firmware program file, programmed by the boot transfer into a simulated
// bootstrap: as S-records and as binary blocks, with a bootstrap that confirms everything and one
// that stops part way. What is sent must be what the file holds, and the load's progress total
// (counted ahead from the file) must be what the programming then does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzFiles.h"
#include "boot/BootLink.h"
#include "boot/BootState.h"
#include "boot/BootTransfer.h"
#include "boot/LoadProgressCount.h"
#include "boot/SRecord.h"

namespace {

using namespace halvex::boot;
using qelta::fuzz::Expect;

constexpr size_t kUnlimited = std::numeric_limits<size_t>::max();

void CheckRecords(const BootLink& link, int16_t result, uint32_t counted, size_t limit) {
  Expect(result == kRecordsDone || result == kNoEchoOrChecksum || result == kBadProgramFile,
         "an S-record result");
  for (const auto& frame : link.sent) {
    Expect(frame.size() >= 3 && frame.size() == size_t{frame[0]} + 3, "length, address, data");
    Expect(((frame[1] << 8) | frame[2]) < 0xF780, "no record for the bootstrap's own area");
  }
  if (limit == kUnlimited) Expect(result != kNoEchoOrChecksum, "confirmed records are accepted");
  if (result == kRecordsDone) {
    Expect(link.sent.size() == counted && link.advances == counted,
           "the progress total is the records sent");
  }
}

void CheckBlocks(const BootLink& link, int16_t result, uint32_t counted, size_t limit,
                 const uint8_t* data, size_t size) {
  Expect(result == kBinaryDone || result == kBinaryFailed, "a binary result");
  long previous = -1;
  for (const auto& frame : link.sent) {
    Expect(frame.size() == kBlockSize + 2, "address and 32 bytes");
    const long address = (frame[0] << 8) | frame[1];
    Expect(address > previous && address % kBlockSize == 0 && address < long{kFlashEnd},
           "blocks in address order below the bootstrap's area");
    previous = address;
    bool blank = true;
    for (size_t i = 0; i < kBlockSize; ++i) {
      const size_t at = static_cast<size_t>(address) + i;
      Expect(frame[2 + i] == (at < size ? data[at] : 0xFF), "a block holds the file's bytes");
      blank = blank && frame[2 + i] == 0xFF;
    }
    Expect(!blank, "blank blocks are not sent");
  }
  if (limit == kUnlimited) Expect(result == kBinaryDone, "accepted blocks program the file");
  if (result == kBinaryDone) {
    Expect(link.sent.size() == counted && link.advances == counted,
           "the progress total is the blocks sent");
  }
}

void Program(const uint8_t* data, size_t size, BootFileMode mode, size_t limit, bool silent) {
  const qelta::fuzz::MemoryFile file(data, size);
  BootState state;
  const bool records = mode == BootFileMode::SRecords;
  state.program.reset(std::fopen(file.Path().c_str(), records ? "r" : "rb"));
  Expect(state.program != nullptr, "the file opens");
  std::string header;  // the first line is read and dropped before the transfer
  ReadLine(state.program.get(), 129, header);
  const uint32_t counted =
      records ? CountRecordsToSend(state.program.get()) : CountBlocksToSend(state.program.get());

  BootLink link;
  link.binary = !records;
  link.confirmLimit = limit;
  link.silentAfterLimit = silent;
  const int16_t result = BootTransfer(link, state, mode, /*bootType=*/true).Run();
  if (records) {
    CheckRecords(link, result, counted, limit);
  } else {
    CheckBlocks(link, result, counted, limit, data, size);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t limit = size > 0 ? data[size - 1] % 8 : 0;
  for (BootFileMode mode : {BootFileMode::SRecords, BootFileMode::HandTerminalBinary}) {
    Program(data, size, mode, kUnlimited, true);
    Program(data, size, mode, limit, (size & 1) != 0);
  }
  return 0;
}

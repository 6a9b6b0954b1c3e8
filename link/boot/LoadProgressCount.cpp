#include "boot/LoadProgressCount.h"

#include <algorithm>
#include <array>
#include <string>

#include "boot/BootTransfer.h"
#include "boot/SRecord.h"

namespace halvex::boot {
namespace {

constexpr size_t kRecordLineBuffer = 254;  // as the S-record sender reads

// Restores the file position (and clears end-of-file) when the count is done.
class KeepPosition {
 public:
  explicit KeepPosition(std::FILE* f) : f_(f), ok_(f != nullptr && std::fgetpos(f, &pos_) == 0) {}
  ~KeepPosition() {
    if (!ok_) return;
    std::clearerr(f_);
    std::fsetpos(f_, &pos_);
  }
  bool Ok() const { return ok_; }

 private:
  std::FILE* f_;
  std::fpos_t pos_{};
  bool ok_;
};

}  // namespace

uint32_t CountRecordsToSend(std::FILE* program) {
  KeepPosition keep(program);
  if (!keep.Ok()) return 0;
  uint32_t count = 0;
  std::string line;
  while (ReadLine(program, kRecordLineBuffer, line)) {
    const SRecord rec = ParseSRecord(line);
    if (rec.kind != RecordKind::Data) break;
    if (rec.address < kFlashEnd) ++count;
  }
  return count;
}

uint32_t CountBlocksToSend(std::FILE* program) {
  KeepPosition keep(program);
  if (!keep.Ok() || std::fseek(program, 0, SEEK_SET) != 0) return 0;
  uint32_t count = 0;
  std::array<uint8_t, kBlockSize> block{};
  for (uint32_t address = 0; address < kFlashEnd; address += kBlockSize) {
    block.fill(0xFF);
    const size_t got = std::fread(block.data(), 1, block.size(), program);
    if (std::any_of(block.begin(), block.end(), [](uint8_t b) { return b != 0xFF; })) ++count;
    if (got < block.size()) break;  // the rest is blank
  }
  return count;
}

}  // namespace halvex::boot

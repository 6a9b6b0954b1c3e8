#include "boot/ProgramFile.h"

#include <cerrno>

#include "halvex/WholeFile.h"
#include "platform/MemoryFile.h"

namespace halvex::boot {

ProgramFileCheck OpenProgramFile(const std::string& path, BootFileMode mode, BootState& state) {
  ProgramFileCheck check;
  state.program.reset();
  const bool binary = mode != BootFileMode::SRecords;
  const size_t limit = binary ? kMaxBinaryImageSize : kMaxRecordFileSize;
  if (const int e = ReadWholeFile(path, limit, state.programBytes)) {
    check.error = e;
    check.reason = e == EFBIG && binary ? "file is larger than the device's 64 KiB address space"
                                        : WholeFileErrorText(e, limit);
    return check;
  }
  if (state.programBytes.empty()) {
    check.reason = "file is empty";
    return check;
  }
  state.program.reset(OpenMemoryFile(state.programBytes).release());
  if (!state.program) {
    check.error = errno;
    check.reason = WholeFileErrorText(errno, limit);
    return check;
  }
  check.ok = true;
  return check;
}

}  // namespace halvex::boot

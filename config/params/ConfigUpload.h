// The configuration file upload once the link is open and the device identified: every line of
// the file performed in file order, then the function keys, the end rows and the device reset.
#pragma once

#include <string>

#include "params/OutputRows.h"
#include "params/ParamLink.h"
#include "params/ParameterWriter.h"

namespace qelta {

enum class UploadEnd {
  kFileNotOpened,     // "Cannot open file for reading!" posted; the link stays open
  kParameterFailure,  // a parameter write failed: rows posted, link closed; the caller beeps
  kFinished,          // end of reading reached: keys written, "File END", reset, link closed
};

// The most data bytes one memory-write frame carries; longer writes go in several frames.
inline constexpr int kMaxWriteBytes = 249;

UploadEnd UploadConfigurationFile(ParamLink& link, OutputRows& rows, ParameterWriter& writer,
                                  const std::string& path);

}  // namespace qelta

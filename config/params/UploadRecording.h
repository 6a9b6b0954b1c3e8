// The writes a configuration upload makes, recorded on a device model (the recording `check`
// makes), without rows: what a checked upload and a comparison with a device go by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/FunctionKeys.h"
#include "params/RecordingParamLink.h"

namespace qelta {

// The upload of `path` to a device of `deviceType` writing to `page`, starting from the
// function-key table `keys` (a copy: the caller's stays as it is). nullopt when the file cannot
// be opened.
std::optional<std::vector<RecordedWrite>> RecordUpload(const std::string& path, int16_t deviceType,
                                                       FunctionKeyTable keys, int16_t page);

}  // namespace qelta

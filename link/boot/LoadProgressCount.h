// How many exchanges the programming stage of a load will make, counted ahead from the program
// file so that the load's progress has a total. The file position is left as it was.
#pragma once

#include <cstdint>
#include <cstdio>

namespace halvex::boot {

// The "S1" records the S-record sender will send from the current position: those below the
// bootstrap's own area, up to the first line that is not a data record.
uint32_t CountRecordsToSend(std::FILE* program);

// The 32-byte blocks below the bootstrap's area that are not blank (all 0xFF).
uint32_t CountBlocksToSend(std::FILE* program);

}  // namespace halvex::boot

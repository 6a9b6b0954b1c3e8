// The in-memory copies of device memory: page 0 and page 1 (255 bytes each) and the extended
// memory (32,768 bytes), chosen by page number.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/ProtocolState.h"

namespace halvex {

// The image a page number selects for reading: 0, 1, anything else the extended memory.
std::span<uint8_t> ImageForRead(ProtocolState& s, int16_t page);
// The image a page number selects for writing: 0, 1, above 1 the extended memory; a negative
// page selects none (empty span).
std::span<uint8_t> ImageForWrite(ProtocolState& s, int16_t page);
// The image a block read or write uses: 0, 1, 2; any other page none.
std::span<uint8_t> ImageForBlock(ProtocolState& s, int16_t page);

// Copies data into image from start on, leaving out whatever falls outside it.
void CopyIntoImage(std::span<uint8_t> image, int start, std::span<const uint8_t> data);

}  // namespace halvex

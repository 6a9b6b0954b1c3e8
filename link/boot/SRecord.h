// S-record lines as the boot loader reads them: "S1" data records and the "S9" start record.
// Hexadecimal digits are 0-9 and upper-case A-F; the records' own checksum fields are not read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::boot {

enum class RecordKind {
  Data,       // "S1": 16-bit address and data bytes
  Start,      // "S9": start address
  Other,      // any other line; ignored
  Malformed,  // "S1"/"S9" whose fields are not hexadecimal or do not fit the line
};

struct SRecord {
  RecordKind kind = RecordKind::Other;
  uint16_t address = 0;
  std::vector<uint8_t> data;
};

// Parses one line (a trailing line end is allowed). An "S1" line holds the byte count in
// characters 3-4 (data length = count - 3), the address in 5-8 and the data from 9 on; an "S9"
// line the start address in 5-8.
SRecord ParseSRecord(std::string_view line);

// Reads one line the way a fixed line buffer of `bufferSize` bytes does: at most bufferSize - 1
// characters, stopping after a line end; a longer line continues in the next call. False at the
// end of the file (or on a read error) when nothing was read.
bool ReadLine(std::FILE* file, size_t bufferSize, std::string& line);

}  // namespace halvex::boot

// The memory a configuration file leaves in a device, taken from the writes its upload makes (the
// recording of `check`): for every address the byte the last write put there, and for every
// source line of the file the ranges it writes. Reading those addresses back from a device and
// comparing line by line tells where the device differs from the file.
//
// A line is compared against what the whole file leaves at its addresses, not against its own
// bytes: two lines that share a byte (the later one wins) are both in sync when the device holds
// the later line's value.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "params/ParamLink.h"
#include "params/RecordingParamLink.h"

namespace qelta {

// `count` bytes from `first` on a page: 0 or 1 (EEPROM pages), 2 (extended memory).
struct MemoryRange {
  int16_t page = 0;
  uint32_t first = 0;
  uint32_t count = 0;
  uint32_t last() const { return first + count - 1; }
  bool operator==(const MemoryRange&) const = default;
};

// Device bytes by address; what is not known is absent.
class MemoryBytes {
 public:
  void Set(int16_t page, uint32_t address, uint8_t byte) { bytes_[Key(page, address)] = byte; }
  std::optional<uint8_t> Get(int16_t page, uint32_t address) const;
  // The bytes of `range`; nullopt when one of them is not known.
  std::optional<std::vector<uint8_t>> Range(const MemoryRange& range) const;

 private:
  static uint32_t Key(int16_t page, uint32_t address) {
    return static_cast<uint32_t>(static_cast<uint16_t>(page)) << 16 | (address & 0xFFFF);
  }
  std::map<uint32_t, uint8_t> bytes_;
};

// A source line of the file (or a function key) and the memory it writes, in the order written,
// adjacent writes joined.
struct FileLine {
  std::string source;  // "line 2: CHANNEL:3", "F3TXT (end of file)"
  std::vector<MemoryRange> ranges;
};

class FileMemory {
 public:
  // Writes that the device would refuse keep nothing and are left out; so are empty ones.
  explicit FileMemory(const std::vector<RecordedWrite>& writes);

  const std::vector<FileLine>& Lines() const { return lines_; }
  // What the whole file leaves at every address it writes.
  const MemoryBytes& Final() const { return final_; }
  // How many of the upload's writes cover the address (0: the file does not write it).
  int WritesAt(int16_t page, uint32_t address) const;
  // Every address the file writes, as the blocks a read takes: runs of addresses on one page
  // with gaps of at most kReadGap bytes joined, each at most kMaxReadBytes long.
  std::vector<MemoryRange> ReadBlocks() const;

  // A gap this short costs less read along than the request and answer overhead of one more
  // block read (at 19200 baud about 24 bytes).
  static constexpr uint32_t kReadGap = 16;
  static constexpr uint32_t kMaxReadBytes = 255;

 private:
  std::vector<FileLine> lines_;
  MemoryBytes final_;
  std::map<std::pair<int16_t, uint32_t>, int> writesAt_;
};

// Addresses (page, address) as the blocks a read takes (see FileMemory::ReadBlocks).
std::vector<MemoryRange> ReadBlocksOf(const std::set<std::pair<int16_t, uint32_t>>& addresses);

// Reads `blocks` from the device into `into`. False when a block could not be read; `failed`
// then names it.
bool ReadMemory(ParamLink& link, const std::vector<MemoryRange>& blocks, MemoryBytes& into,
                MemoryRange* failed = nullptr);

// One range of a line: the bytes the file leaves there and those the device holds (nullopt when
// the device was not read).
struct RangeComparison {
  MemoryRange range;
  std::vector<uint8_t> file;
  std::optional<std::vector<uint8_t>> device;
};

struct LineComparison {
  std::string source;
  std::string parameter;  // the name before the first colon ("CHANNEL", "DATABLOCK", "F3TXT")
  std::string fileValue;  // as the parameter table shows values
  std::optional<std::string> deviceValue;
  bool match = false;
  std::vector<RangeComparison> ranges;
};

// What a comparison found on one device, as the form keeps it for the command line.
struct DeviceComparison {
  std::string station;  // dotted address; empty for the device on the serial port
  bool read = false;    // the device was reached and its memory read
  std::vector<LineComparison> lines;
  bool InSync() const {
    for (const LineComparison& line : lines)
      if (!line.match) return false;
    return read;
  }
};

// Every line of the file against the device's bytes; a null `device` (its read failed) matches
// nothing and shows no device values.
std::vector<LineComparison> CompareLines(const FileMemory& file, const MemoryBytes* device);

// The parameter of a write's source: "line 2: CHANNEL:3" -> "CHANNEL", "F3TXT (end of file)" ->
// "F3TXT".
std::string ParameterOfSource(const std::string& source);
// The bytes of a line as the parameter table shows values of `parameter`: numbers as decimal
// numbers, texts as texts, blocks (and what the table does not know) as hex.
std::string ShownValue(const std::string& parameter, const std::vector<uint8_t>& bytes);
// "3C 00 FF": the bytes in upper-case hexadecimal, separated by blanks.
std::string HexBytes(const std::vector<uint8_t>& bytes);
// "0:13" or "0:100-119".
std::string RangeText(const MemoryRange& range);

}  // namespace qelta

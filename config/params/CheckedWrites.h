// The configuration upload's writes made sure of: only what differs from the device (the device
// read first), and every byte written read back before the device is reset.
//
// CheckedWriteLink stands between the upload and the device's link. The upload runs as it always
// does (its rows, its order of writes); the link knows from the upload's recording which write is
// which and which of its bytes must go so that the device ends as the whole file leaves it: a byte
// goes with the last write the file makes to its address, and only when the device holds another
// value there. Writes of which nothing must go are answered as the device answers a write, without
// sending a byte.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "params/FileMemory.h"
#include "params/ForwardingParamLink.h"
#include "params/OutputRows.h"
#include "params/RecordingParamLink.h"

namespace qelta {

// What a checked upload wrote into one device.
struct WriteSummary {
  uint32_t bytes = 0;           // bytes sent in memory writes
  uint32_t linesWritten = 0;    // lines (and function keys) of which something was sent
  uint32_t linesUnchanged = 0;  // lines the device already held
  bool verifyFailed = false;    // a byte read back differs from the file, or could not be read
};

// A device's outcome of a checked upload, as the form keeps it for the command line.
struct DeviceWrites {
  std::string station;  // dotted address; empty for the device on the serial port
  WriteSummary summary;
};

// For each of the recorded writes (in order), the ranges of it that must be sent when the device
// holds `before`: the bytes whose address the write is the last one of the file to write, where
// the device holds another value (or one not read).
std::vector<std::vector<MemoryRange>> ChangedOnlyPlan(const std::vector<RecordedWrite>& writes,
                                                      const MemoryBytes& before);

class CheckedWriteLink final : public ForwardingParamLink {
 public:
  // `writes`: the upload's recording on a device model of `deviceType`. `before`: the device's
  // bytes at the file's addresses to write only what differs; null writes everything. `verify`:
  // read back every byte written before the device is reset.
  CheckedWriteLink(ParamLink& link, OutputRows& rows, int16_t deviceType,
                   const std::vector<RecordedWrite>& writes, const MemoryBytes* before,
                   bool verify);

  // The end of the upload: the read-back, the changed-only closing row, then the reset (none when
  // nothing was written in changed-only mode).
  void Reset() override;
  int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page) override;
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) override;
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) override;
  // A line the device already holds gets its "unchanged" row here, before the upload's own rows.
  void SetCurrentSource(const std::string& source) override;

  const WriteSummary& Summary() const { return summary_; }
  // Changed-only, and the line performed now is one the device already holds.
  bool InUnchangedLine() const {
    return changedOnly_ && fileLines_.count(source_) != 0 && linesToWrite_.count(source_) == 0;
  }

 private:
  // Sends what must go of a write of `bytes` at addr/page; `whole` sends it as the upload asked.
  // Returns whether the device took what was sent (true when nothing was).
  template <typename Whole>
  bool Write(int16_t addr, int16_t page, const std::vector<uint8_t>& bytes, Whole whole);
  void Verify();

  OutputRows& rows_;
  int16_t type_;
  std::vector<RecordedWrite> writes_;
  std::vector<std::vector<MemoryRange>> plan_;  // empty: everything goes
  bool changedOnly_;
  bool verify_;
  std::size_t next_ = 0;  // the recorded write the next write of the upload is
  std::string source_;
  std::set<std::string> fileLines_;
  std::set<std::string> linesToWrite_;
  std::set<std::string> linesWritten_;
  std::set<std::string> noted_;
  MemoryBytes written_;  // what was sent, by address (the last byte sent)
  std::vector<MemoryRange> sent_;
  WriteSummary summary_;
};

// The upload's rows beside a CheckedWriteLink: the step rows of a line the device already holds
// ("Writing CHANNEL:3", "Set block...") are left out, nothing of it being written; its "unchanged"
// row stands for them. Warnings and failures stay.
class CheckedRows final : public OutputRows {
 public:
  CheckedRows(OutputRows& rows, const CheckedWriteLink& link) : rows_(rows), link_(link) {}
  using OutputRows::AddOutputRow;
  using OutputRows::InsertRow;
  void AddOutputRow(const std::string& name, const std::string& value, int image,
                    RowKind kind) override;
  // The upload only appends: a row inserted goes at the end.
  void InsertRow(std::size_t position, const std::string& name, int image, RowKind kind) override;
  void SetRowText(std::size_t row, int column, const std::string& text) override;
  void DeleteAllRows() override;
  std::size_t RowCount() const override { return shown_.size(); }

 private:
  static constexpr std::size_t kLeftOut = static_cast<std::size_t>(-1);
  OutputRows& rows_;
  const CheckedWriteLink& link_;
  std::vector<std::size_t> shown_;  // per row of the upload, its row in `rows_` (or kLeftOut)
};

}  // namespace qelta

#include "params/CheckedWrites.h"

#include <map>

#include "params/MemoryBounds.h"

namespace qelta {

namespace {

bool Kept(const RecordedWrite& write) { return !write.refused && !write.bytes.empty(); }

}  // namespace

std::vector<std::vector<MemoryRange>> ChangedOnlyPlan(const std::vector<RecordedWrite>& writes,
                                                      const MemoryBytes& before) {
  std::map<std::pair<int16_t, uint32_t>, int> remaining;
  for (const RecordedWrite& write : writes) {
    if (!Kept(write)) continue;
    for (uint32_t i = 0; i < write.bytes.size(); ++i) ++remaining[{write.page, write.address + i}];
  }
  MemoryBytes device = before;
  std::vector<std::vector<MemoryRange>> plan;
  for (const RecordedWrite& write : writes) {
    std::vector<MemoryRange>& send = plan.emplace_back();
    if (!Kept(write)) continue;
    for (uint32_t i = 0; i < write.bytes.size(); ++i) {
      const uint32_t address = write.address + i;
      const bool last = --remaining[{write.page, address}] == 0;
      const std::optional<uint8_t> held = device.Get(write.page, address);
      if (!last || held == write.bytes[i]) continue;
      device.Set(write.page, address, write.bytes[i]);
      if (!send.empty() && send.back().first + send.back().count == address) {
        ++send.back().count;
      } else {
        send.push_back({write.page, address, 1});
      }
    }
  }
  return plan;
}

CheckedWriteLink::CheckedWriteLink(ParamLink& link, OutputRows& rows, int16_t deviceType,
                                   const std::vector<RecordedWrite>& writes,
                                   const MemoryBytes* before, bool verify)
    : ForwardingParamLink(link),
      rows_(rows),
      type_(deviceType),
      changedOnly_(before != nullptr),
      verify_(verify) {
  for (const RecordedWrite& write : writes) {
    if (!Kept(write)) continue;
    writes_.push_back(write);
    fileLines_.insert(write.source);
  }
  if (changedOnly_) {
    plan_ = ChangedOnlyPlan(writes_, *before);
    for (std::size_t i = 0; i < writes_.size(); ++i)
      if (!plan_[i].empty()) linesToWrite_.insert(writes_[i].source);
  }
}

void CheckedWriteLink::SetCurrentSource(const std::string& source) {
  source_ = source;
  link_.SetCurrentSource(source);
  if (changedOnly_ && fileLines_.count(source) != 0 && linesToWrite_.count(source) == 0 &&
      noted_.insert(source).second) {
    rows_.AddOutputRow("unchanged", source, kImageInfo, RowKind::Information);
  }
}

template <typename Whole>
bool CheckedWriteLink::Write(int16_t addr, int16_t page, const std::vector<uint8_t>& bytes,
                             Whole whole) {
  // A frame without data writes nothing: changed-only sends none.
  if (bytes.empty()) return changedOnly_ ? true : whole();
  const WriteLanding landing = LandWrite(type_, addr, page, bytes.size());
  if (landing.refused) return whole();  // the bounds guard above never lets one through
  const MemoryRange all{landing.page, landing.address, static_cast<uint32_t>(bytes.size())};
  std::vector<MemoryRange> send{all};
  // The recording and the upload make the same writes in the same order; should they part, the
  // write goes whole.
  if (changedOnly_ && next_ < writes_.size() && writes_[next_].page == all.page &&
      writes_[next_].address == all.first && writes_[next_].bytes == bytes) {
    send = plan_[next_];
  }
  ++next_;
  bool ok = true;
  if (send.size() == 1 && send.front() == all) {
    ok = whole();
  } else {
    for (const MemoryRange& range : send) {
      std::vector<int16_t> data;
      for (uint32_t a = range.first; a <= range.last(); ++a) data.push_back(bytes[a - all.first]);
      ok = link_.WriteBlockToEeprom(static_cast<int16_t>(range.first), range.page,
                                    static_cast<int16_t>(range.count), data.data());
      if (!ok) break;
    }
  }
  if (!ok) return false;
  for (const MemoryRange& range : send) {
    for (uint32_t a = range.first; a <= range.last(); ++a)
      written_.Set(range.page, a, bytes[a - all.first]);
    sent_.push_back(range);
    summary_.bytes += range.count;
    linesWritten_.insert(source_);
  }
  return true;
}

int16_t CheckedWriteLink::SetEepromVal(int16_t addr, int16_t data, int16_t page) {
  int16_t status = RecordingParamLink::kAccepted;
  const bool ok = Write(addr, page, {static_cast<uint8_t>(data & 0xFF)}, [&] {
    status = link_.SetEepromVal(addr, data, page);
    return status != -1;
  });
  return ok ? status : int16_t{-1};
}

bool CheckedWriteLink::WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length,
                                          int16_t* data) {
  if (length < 0) return link_.WriteBlockToEeprom(addr, page, length, data);
  std::vector<uint8_t> bytes;
  for (int i = 0; i < length; ++i) {
    // Without data the bytes come from the link's image, as the link sends them.
    const int16_t value = data != nullptr ? data[i] : link_.GetEepByte(page, addr + i);
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
  }
  return Write(addr, page, bytes,
               [&] { return link_.WriteBlockToEeprom(addr, page, length, data); });
}

bool CheckedWriteLink::WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) {
  return Write(address, page, std::vector<uint8_t>(txt.begin(), txt.end()),
               [&] { return link_.WriteStringToEeprom(address, page, txt); });
}

void CheckedWriteLink::Verify() {
  std::set<std::pair<int16_t, uint32_t>> addresses;
  for (const MemoryRange& range : sent_)
    for (uint32_t a = range.first; a <= range.last(); ++a) addresses.insert({range.page, a});
  MemoryBytes device;
  for (const MemoryRange& block : ReadBlocksOf(addresses)) {
    MemoryRange failed;
    if (!ReadMemory(link_, {block}, device, &failed)) {
      rows_.AddOutputRow("Verify read failure", RangeText(failed), kImageFailure);
      summary_.verifyFailed = true;
    }
  }
  // One failure row per run of neighbouring bytes that differ.
  MemoryRange run{};
  std::vector<uint8_t> expected, found;
  auto flush = [&] {
    if (run.count == 0) return;
    rows_.AddOutputRow("Verify failure", RangeText(run), kImageFailure);
    rows_.SetRowText(rows_.RowCount() - 1, 2,
                     "expected " + HexBytes(expected) + ", found " + HexBytes(found));
    summary_.verifyFailed = true;
    run.count = 0;
    expected.clear();
    found.clear();
  };
  for (const auto& [page, address] : addresses) {
    const std::optional<uint8_t> held = device.Get(page, address);
    const uint8_t wanted = written_.Get(page, address).value_or(0);
    if (!held || *held == wanted) {
      flush();
      continue;
    }
    if (run.count > 0 && (run.page != page || run.first + run.count != address)) flush();
    if (run.count == 0) run = {page, address, 0};
    ++run.count;
    expected.push_back(wanted);
    found.push_back(*held);
  }
  flush();
  if (!summary_.verifyFailed && !addresses.empty())
    rows_.AddOutputRow("Verified", std::to_string(addresses.size()) + " bytes", kImageInfo);
}

void CheckedWriteLink::Reset() {
  if (verify_) Verify();
  summary_.linesWritten = static_cast<uint32_t>(linesWritten_.size());
  summary_.linesUnchanged = 0;
  for (const std::string& line : fileLines_)
    if (linesWritten_.count(line) == 0) ++summary_.linesUnchanged;
  if (changedOnly_) {
    rows_.AddOutputRow("Bytes written", std::to_string(summary_.bytes), kImageInfo);
    // A device that already held the file keeps running.
    if (summary_.bytes == 0) return;
  }
  link_.Reset();
}

void CheckedRows::AddOutputRow(const std::string& name, const std::string& value, int image,
                               RowKind kind) {
  if (kind == RowKind::Step && link_.InUnchangedLine()) {
    shown_.push_back(kLeftOut);
    return;
  }
  rows_.AddOutputRow(name, value, image, kind);
  shown_.push_back(rows_.RowCount() - 1);
}

void CheckedRows::InsertRow(std::size_t /*position*/, const std::string& name, int image,
                            RowKind kind) {
  AddOutputRow(name, "", image, kind);
}

void CheckedRows::SetRowText(std::size_t row, int column, const std::string& text) {
  if (row < shown_.size() && shown_[row] != kLeftOut) rows_.SetRowText(shown_[row], column, text);
}

void CheckedRows::DeleteAllRows() {
  shown_.clear();
  rows_.DeleteAllRows();
}

}  // namespace qelta

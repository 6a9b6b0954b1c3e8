#include "params/FileMemory.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "params/ParameterTable.h"

namespace qelta {

std::optional<uint8_t> MemoryBytes::Get(int16_t page, uint32_t address) const {
  const auto found = bytes_.find(Key(page, address));
  if (found == bytes_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::vector<uint8_t>> MemoryBytes::Range(const MemoryRange& range) const {
  std::vector<uint8_t> bytes;
  bytes.reserve(range.count);
  for (uint32_t i = 0; i < range.count; ++i) {
    const std::optional<uint8_t> byte = Get(range.page, range.first + i);
    if (!byte) return std::nullopt;
    bytes.push_back(*byte);
  }
  return bytes;
}

FileMemory::FileMemory(const std::vector<RecordedWrite>& writes) {
  for (const RecordedWrite& write : writes) {
    if (write.refused || write.bytes.empty()) continue;
    for (uint32_t i = 0; i < write.bytes.size(); ++i) {
      final_.Set(write.page, write.address + i, write.bytes[i]);
      ++writesAt_[{write.page, write.address + i}];
    }
    auto line = std::find_if(lines_.begin(), lines_.end(),
                             [&](const FileLine& l) { return l.source == write.source; });
    if (line == lines_.end()) {
      lines_.push_back({write.source, {}});
      line = lines_.end() - 1;
    }
    const MemoryRange range{write.page, write.address, static_cast<uint32_t>(write.bytes.size())};
    MemoryRange* previous = line->ranges.empty() ? nullptr : &line->ranges.back();
    if (previous != nullptr && previous->page == range.page &&
        previous->first + previous->count == range.first) {
      previous->count += range.count;
    } else {
      line->ranges.push_back(range);
    }
  }
}

int FileMemory::WritesAt(int16_t page, uint32_t address) const {
  const auto found = writesAt_.find({page, address});
  return found == writesAt_.end() ? 0 : found->second;
}

std::vector<MemoryRange> FileMemory::ReadBlocks() const {
  std::set<std::pair<int16_t, uint32_t>> addresses;
  for (const auto& entry : writesAt_) addresses.insert(entry.first);
  return ReadBlocksOf(addresses);
}

std::vector<MemoryRange> ReadBlocksOf(const std::set<std::pair<int16_t, uint32_t>>& addresses) {
  std::vector<MemoryRange> blocks;
  // The set runs through the addresses in order, page by page.
  for (const auto& [page, address] : addresses) {
    MemoryRange* last = blocks.empty() ? nullptr : &blocks.back();
    if (last != nullptr && last->page == page &&
        address <= last->last() + FileMemory::kReadGap + 1 &&
        address - last->first < FileMemory::kMaxReadBytes) {
      last->count = address - last->first + 1;
    } else {
      blocks.push_back({page, address, 1});
    }
  }
  return blocks;
}

bool ReadMemory(ParamLink& link, const std::vector<MemoryRange>& blocks, MemoryBytes& into,
                MemoryRange* failed) {
  std::vector<int16_t> data;
  for (const MemoryRange& block : blocks) {
    data.assign(block.count, 0);
    if (block.count > FileMemory::kMaxReadBytes ||
        !link.ReadBlockNow(static_cast<int16_t>(block.first), block.page,
                           static_cast<int16_t>(block.count), data.data())) {
      if (failed != nullptr) *failed = block;
      return false;
    }
    for (uint32_t i = 0; i < block.count; ++i)
      into.Set(block.page, block.first + i, static_cast<uint8_t>(data[i] & 0xFF));
  }
  return true;
}

std::string ParameterOfSource(const std::string& source) {
  std::string text = source;
  if (text.rfind("line ", 0) == 0) {
    const std::size_t colon = text.find(": ");
    if (colon != std::string::npos) text = text.substr(colon + 2);
  }
  const std::size_t end = text.find_first_of(": ");
  return end == std::string::npos ? text : text.substr(0, end);
}

namespace {

enum class Shown { kNumber, kText, kKeyText, kHex };

Shown ShownAs(const std::string& parameter) {
  if (parameter == "SYSTEM") return Shown::kNumber;
  if (parameter == "STRING_BLOCK") return Shown::kText;
  const ParamDef* def = FindParameter(parameter);
  if (def == nullptr) return Shown::kHex;
  switch (def->kind) {
    case ParamKind::kNumber:
    case ParamKind::kPassword:
    case ParamKind::kEncryptKey:
    case ParamKind::kChannel:
    case ParamKind::kFunctionKeySend:
      return Shown::kNumber;
    case ParamKind::kTextCut20:
    case ParamKind::kTextPad20:
    case ParamKind::kBtAddress:
    case ParamKind::kBtName:
      return Shown::kText;
    case ParamKind::kFunctionKeyText:
      return Shown::kKeyText;
    case ParamKind::kReset:
      return Shown::kHex;
  }
  return Shown::kHex;
}

// A text up to its end byte; bytes of no text (an erased memory's FF) show it as hex.
std::string Text(std::vector<uint8_t>::const_iterator begin,
                 std::vector<uint8_t>::const_iterator end) {
  const std::vector<uint8_t> bytes(begin, std::find(begin, end, uint8_t{0}));
  for (uint8_t byte : bytes)
    if (byte >= 0x80) return HexBytes(bytes);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::string ShownValue(const std::string& parameter, const std::vector<uint8_t>& bytes) {
  switch (ShownAs(parameter)) {
    case Shown::kNumber:
      if (bytes.size() <= 4) {
        uint64_t value = 0;
        for (uint8_t byte : bytes) value = value << 8 | byte;  // most significant first
        return std::to_string(value);
      }
      break;
    case Shown::kText:
      return Text(bytes.begin(), bytes.end());
    case Shown::kKeyText:
      // The length byte, then the key's text.
      if (!bytes.empty() && bytes.front() < bytes.size()) {
        return Text(bytes.begin() + 1, bytes.begin() + 1 + bytes.front());
      }
      break;
    case Shown::kHex:
      break;
  }
  return HexBytes(bytes);
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  text.reserve(bytes.size() * 3);
  for (uint8_t byte : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    if (!text.empty()) text += ' ';
    text += hex;
  }
  return text;
}

std::string RangeText(const MemoryRange& range) {
  std::string text = std::to_string(range.page) + ":" + std::to_string(range.first);
  if (range.count > 1) text += "-" + std::to_string(range.last());
  return text;
}

std::vector<LineComparison> CompareLines(const FileMemory& file, const MemoryBytes* device) {
  std::vector<LineComparison> lines;
  for (const FileLine& line : file.Lines()) {
    LineComparison c;
    c.source = line.source;
    c.parameter = ParameterOfSource(line.source);
    std::vector<uint8_t> fileBytes;
    std::vector<uint8_t> deviceBytes;
    bool read = device != nullptr;
    for (const MemoryRange& range : line.ranges) {
      RangeComparison r{range, file.Final().Range(range).value_or(std::vector<uint8_t>{}), {}};
      if (device != nullptr) r.device = device->Range(range);
      if (!r.device) read = false;
      fileBytes.insert(fileBytes.end(), r.file.begin(), r.file.end());
      if (r.device) deviceBytes.insert(deviceBytes.end(), r.device->begin(), r.device->end());
      c.ranges.push_back(std::move(r));
    }
    c.fileValue = ShownValue(c.parameter, fileBytes);
    if (read) c.deviceValue = ShownValue(c.parameter, deviceBytes);
    c.match = read && fileBytes == deviceBytes;
    lines.push_back(std::move(c));
  }
  return lines;
}

}  // namespace qelta

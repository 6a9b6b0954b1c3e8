// A memory-backed device behind the parameter operations' link interface, with the link's
// images, a record of every write and a switch that makes the device fall silent.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "params/OutputRows.h"
#include "params/ParamLink.h"

namespace qelta::test {

struct Write {
  std::string op;  // "val", "block", "string"
  int16_t addr;
  int16_t page;
  std::vector<uint8_t> bytes;
};

class FakeDevice : public ParamLink {
 public:
  static constexpr size_t kMemory = 32768;
  FakeDevice() {
    for (auto& page : memory) page.fill(0);
    for (auto& image : images) image.fill(0);
  }

  // Device memory: pages 0, 1, 2 (the extended memory).
  std::array<std::array<uint8_t, kMemory>, 3> memory{};
  std::vector<Write> writes;
  std::vector<std::vector<int16_t>> frames;  // SendAndWait frames
  int16_t deviceType = 8;
  bool connectOk = true;
  uint32_t tcpResult = 0;
  int writesBeforeSilence = -1;  // -1: never falls silent
  int resets = 0;
  int pausedMs = 0;
  bool connected = false;
  std::string id = "10000";

  bool Connect(int16_t, int16_t) override { return connected = connectOk; }
  uint32_t ConnectTCP(uint32_t, uint16_t) override {
    connected = tcpResult == 0;
    return tcpResult;
  }
  void Disconnect() override { connected = false; }
  int16_t GetDevice() override { return connected ? (Silent() ? -2 : deviceType) : -1; }
  void Reset() override {
    if (connected) ++resets;
  }
  int16_t ReadEepromVal(int16_t addr, int16_t page) override {
    if (!connected || Silent()) return -1;
    return Mem(page, addr);
  }
  int16_t SetEepromVal(int16_t addr, int16_t data, int16_t page) override {
    if (!Accept()) return -1;
    Store(page, addr, {static_cast<uint8_t>(data)});
    writes.push_back({"val", addr, page, {static_cast<uint8_t>(data)}});
    return 0;
  }
  bool WriteBlockToEeprom(int16_t addr, int16_t page, int16_t length, int16_t* data) override {
    if (length < 0 || length > 249 || !Accept()) return false;
    std::vector<uint8_t> bytes;
    for (int i = 0; i < length; ++i) {
      bytes.push_back(data != nullptr ? static_cast<uint8_t>(data[i])
                                      : static_cast<uint8_t>(GetEepByte(page, addr + i)));
    }
    Store(page, addr, bytes);
    writes.push_back({"block", addr, page, bytes});
    return true;
  }
  bool WriteStringToEeprom(int16_t address, int16_t page, const std::string& txt) override {
    if (txt.size() > 249 || !Accept()) return false;
    std::vector<uint8_t> bytes(txt.begin(), txt.end());
    Store(page, address, bytes);
    writes.push_back({"string", address, page, bytes});
    return true;
  }
  bool ReadEepromBlock(int16_t start, int16_t page, int16_t len) override {
    if (!connected || Silent()) return false;
    for (int i = 0; i < len; ++i) SetEepByte(page, start + i, Mem(page, start + i));
    return true;
  }
  int16_t GetEepByte(int16_t page, int16_t addr) override {
    const size_t limit = page == 0 || page == 1 ? 255 : kMemory;
    if (addr < 0 || static_cast<size_t>(addr) >= limit) return 0;
    return images[page == 0 || page == 1 ? page : 2][addr];
  }
  void SetEepByte(int16_t page, int16_t addr, int16_t data) override {
    const size_t limit = page == 0 || page == 1 ? 255 : kMemory;
    if (page < 0 || addr < 0 || static_cast<size_t>(addr) >= limit) return;
    images[page == 0 || page == 1 ? page : 2][addr] = static_cast<uint8_t>(data);
  }
  std::string ReadEepStr(int16_t addr, int16_t page, int16_t len) override {
    if (!connected || Silent()) return "NoComm";
    std::string text;
    for (int i = 0; i < len; ++i) text.push_back(static_cast<char>(Mem(page, addr + i)));
    return text;
  }
  std::string ReadMemStr(int16_t addr, int16_t page, int16_t len) override {
    std::string text;
    for (int i = 0; i < len; ++i) {
      const int16_t b = GetEepByte(page, addr + i);
      if (b == 0) break;
      text.push_back(static_cast<char>(b));
    }
    return text;
  }
  std::string GetID() override { return connected ? id : "Connection Error"; }
  bool SendAndWait(int16_t* buf, int16_t length, int16_t) override {
    if (!Accept()) return false;
    frames.emplace_back(buf, buf + length);
    return true;
  }
  void Pause(int ms) override { pausedMs += ms; }

  // The bytes of device memory [addr, addr + n) on a page.
  std::vector<uint8_t> Bytes(int page, int addr, int n) const {
    return std::vector<uint8_t>(memory[page].begin() + addr, memory[page].begin() + addr + n);
  }

 private:
  bool Silent() const { return writesBeforeSilence == 0; }
  bool Accept() {
    if (!connected || Silent()) return false;
    if (writesBeforeSilence > 0) --writesBeforeSilence;
    return true;
  }
  uint8_t Mem(int16_t page, int addr) const {
    if (addr < 0 || static_cast<size_t>(addr) >= kMemory) return 0;
    return memory[page == 0 || page == 1 ? page : 2][addr];
  }
  void Store(int16_t page, int addr, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const size_t a = static_cast<size_t>(addr) + i;
      if (a < kMemory) memory[page == 0 || page == 1 ? page : 2][a] = bytes[i];
    }
  }
  std::array<std::array<uint8_t, kMemory>, 3> images{};
};

struct Row {
  std::string name, value, more;
  int image;
  RowKind kind = RowKind::Step;
};

class FakeRows : public OutputRows {
 public:
  std::vector<Row> rows;
  using OutputRows::AddOutputRow;
  using OutputRows::InsertRow;
  void AddOutputRow(const std::string& name, const std::string& value, int image,
                    RowKind kind) override {
    rows.push_back({name, value, "", image, kind});
  }
  void InsertRow(std::size_t position, const std::string& name, int image, RowKind kind) override {
    rows.insert(rows.begin() + static_cast<long>(std::min(position, rows.size())),
                Row{name, "", "", image, kind});
  }
  void SetRowText(std::size_t row, int column, const std::string& text) override {
    if (row >= rows.size()) return;
    (column == 0 ? rows[row].name : column == 1 ? rows[row].value : rows[row].more) = text;
  }
  void DeleteAllRows() override { rows.clear(); }
  std::size_t RowCount() const override { return rows.size(); }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const Row& row : rows) names.push_back(row.name);
    return names;
  }
  bool Has(const std::string& name) const {
    for (const Row& row : rows) {
      if (row.name == name) return true;
    }
    return false;
  }
};

}  // namespace qelta::test

// Shared helpers of the boot-loader suites: a per-test working folder, S-record and binary files
// made on the spot, and a link talking to a simulated device over a pty.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/BootRomLoader.h"
#include "device/SimDevice.h"
#include "halvex/ControlFace.h"
#include "halvex/HalvexCtrl.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"

namespace boottest {

// Creates a fresh folder, makes it the working folder, and removes it afterwards.
class TempWorkDir {
 public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir&) = delete;
  TempWorkDir& operator=(const TempWorkDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string previous_;
  std::string path_;
};

using Bytes = std::vector<uint8_t>;

// "S1" line for `data` at `address`, with a correct checksum field.
std::string S1Line(uint16_t address, const Bytes& data);
std::string S9Line(uint16_t start);

struct Record {
  uint16_t address;
  Bytes data;
};

void WriteText(const std::string& path, const std::string& text);
void WriteBinary(const std::string& path, const Bytes& bytes);
// An S-record file: a header line, the records (16-byte lines), an "S9" line at `start`.
std::string SRecordText(const std::vector<Record>& records, uint16_t start);
// A boot file holding `code` at `base`, started at `base`.
void WriteBootFile(const std::string& path, uint16_t base, const Bytes& code);
// Bytes 0..n-1 with no 0xFF among them.
Bytes Pattern(size_t n, uint8_t seed = 1);

// A simulated device on a pty, served on its own thread, with the boot loaders installed.
class SimLine {
 public:
  explicit SimLine(uint8_t type = qelta::sim::kTypeHandTerminal,
                   const qelta::sim::BootLoaderKnobs& knobs = {});
  ~SimLine();
  qelta::sim::SimDevice& Device() { return device_; }
  qelta::sim::BootRomLoader& Loader() { return *loader_; }
  const std::string& Path() const { return path_; }

 private:
  qelta::sim::SimDevice device_;
  qelta::sim::BootRomLoader* loader_ = nullptr;
  std::string path_;
  std::unique_ptr<qelta::sim::DeviceRunner> runner_;
};

struct Shown {
  std::string text;
  std::string caption;
  bool operator==(const Shown&) const = default;
};

// A link bound to COM1 = the simulated line, recording its message boxes.
class LinkOnLine {
 public:
  explicit LinkOnLine(const SimLine& line);
  CHalvexCtrl& Link() { return link_; }
  const std::vector<Shown>& Messages() const { return messages_; }
  std::string Status();

 private:
  CHalvexCtrl link_;
  std::vector<Shown> messages_;
};

}  // namespace boottest

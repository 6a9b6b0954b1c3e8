#include "BootTestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "halvex/ControlFace.h"

namespace boottest {

TempWorkDir::TempWorkDir() {
  previous_ = std::filesystem::current_path().string();
  std::string templ = (std::filesystem::temp_directory_path() / "halvex-boot-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
  std::filesystem::current_path(path_);
}

TempWorkDir::~TempWorkDir() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(path_, ec);
}

namespace {
std::string Hex2(unsigned v) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}
}  // namespace

std::string S1Line(uint16_t address, const Bytes& data) {
  const unsigned count = static_cast<unsigned>(data.size()) + 3;
  unsigned sum = count + (address >> 8) + (address & 0xFF);
  std::string line = "S1" + Hex2(count) + Hex2(address >> 8) + Hex2(address);
  for (uint8_t b : data) {
    line += Hex2(b);
    sum += b;
  }
  return line + Hex2(~sum & 0xFF);
}

std::string S9Line(uint16_t start) {
  const unsigned sum = 3 + (start >> 8) + (start & 0xFF);
  return "S903" + Hex2(start >> 8) + Hex2(start) + Hex2(~sum & 0xFF);
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

void WriteBinary(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string SRecordText(const std::vector<Record>& records, uint16_t start) {
  std::string text = "S00600004844521B\n";
  for (const Record& r : records) {
    for (size_t off = 0; off < r.data.size(); off += 16) {
      const size_t n = std::min<size_t>(16, r.data.size() - off);
      Bytes part(r.data.begin() + static_cast<long>(off),
                 r.data.begin() + static_cast<long>(off + n));
      text += S1Line(static_cast<uint16_t>(r.address + off), part) + "\n";
    }
  }
  return text + S9Line(start) + "\n";
}

void WriteBootFile(const std::string& path, uint16_t base, const Bytes& code) {
  WriteText(path, SRecordText({{base, code}}, base));
}

Bytes Pattern(size_t n, uint8_t seed) {
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((i * 7 + seed) % 0xFF);
  return out;
}

SimLine::SimLine(uint8_t type, const qelta::sim::BootLoaderKnobs& knobs) {
  qelta::sim::DeviceIdentity id;
  id.type = type;
  device_.SetIdentity(id);
  loader_ = &qelta::sim::BootRomLoader::InstallInto(device_, knobs);
  auto pty = std::make_unique<qelta::sim::PtyEndpoint>();
  if (!pty->Ok()) throw std::runtime_error("pty: " + pty->Error());
  path_ = pty->SlavePath();
  runner_ = std::make_unique<qelta::sim::DeviceRunner>(device_, std::move(pty));
  runner_->Start();
}

SimLine::~SimLine() { runner_->Stop(); }

LinkOnLine::LinkOnLine(const SimLine& line) {
  link_.SetComPortPath(1, line.Path());
  link_.SetMessageHandler([this](const std::string& text, const std::string& caption) {
    messages_.push_back({text, caption});
  });
}

std::string LinkOnLine::Status() { return link_.Face().StatusText(); }

}  // namespace boottest

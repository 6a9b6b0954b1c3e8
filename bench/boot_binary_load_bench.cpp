// A full binary firmware load (Boot with "hsbt" firmware) against a simulated device whose
// answers are paced at 4800 baud, timed against its floor: every byte of every exchange on the
// wire at 4800 baud (10 bits a byte), the receiving side's batch gaps (each one-byte answer is
// handed over once a second 5 ms look has found nothing new: 10 ms after it arrives) plus the
// waits the load prescribes (300 ms after the wake-up, 3000 ms for the bootstrap to start,
// 1500 ms before the first block, 100 ms in each of the two port closes).
//
//   scripts/netns build/bin/boot_binary_load_bench [firmware_bytes] [bootstrap_bytes]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "device/BootRomLoader.h"
#include "device/SimDevice.h"
#include "halvex/HalvexCtrl.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"
#include "transport/SerialEndpoint.h"

namespace {

constexpr int kBaud = 4800;
constexpr double kPrescribedWaitMs = 300 + 3000 + 1500 + 2 * 100;
// A one-byte answer is handed over after two 5 ms looks: the one that reads it, the one that
// finds nothing more.
constexpr double kBatchCloseMs = 2 * 5;

std::string Hex2(unsigned v) {
  char buf[3];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

// A boot file of `n` bytes at 0xB600, sixteen bytes a record.
void WriteBootFile(const std::string& path, size_t n) {
  std::ofstream out(path);
  for (size_t off = 0; off < n; off += 16) {
    const size_t len = std::min<size_t>(16, n - off);
    const unsigned addr = static_cast<unsigned>(0xB600 + off);
    std::string line = "S1" + Hex2(static_cast<unsigned>(len + 3)) + Hex2(addr >> 8) + Hex2(addr);
    for (size_t i = 0; i < len; ++i) line += Hex2(static_cast<unsigned>((off + i) * 13));
    out << line << "00\n";
  }
  out << "S903B60046\n";
}

// The pty delivers the link's bytes at once; this end lets them arrive at the line's pace by
// holding each read for the bytes' time on the wire, so the device answers no earlier than a
// real one could.
class PacedReads : public qelta::sim::SerialEndpoint {
 public:
  PacedReads(std::unique_ptr<qelta::sim::SerialEndpoint> inner, int baud)
      : inner_(std::move(inner)), byteTime_(std::chrono::nanoseconds(10'000'000'000LL / baud)) {}
  int PollFd() const override { return inner_->PollFd(); }
  long Read(std::uint8_t* buffer, std::size_t size) override {
    const long n = inner_->Read(buffer, size);
    if (n > 0) std::this_thread::sleep_for(n * byteTime_);
    return n;
  }
  bool Write(std::span<const std::uint8_t> bytes) override { return inner_->Write(bytes); }
  bool Service() override { return inner_->Service(); }
  void HangUp() override { inner_->HangUp(); }

 private:
  std::unique_ptr<qelta::sim::SerialEndpoint> inner_;
  std::chrono::nanoseconds byteTime_;
};

}  // namespace

int main(int argc, char** argv) {
  const size_t firmwareBytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4096;
  const size_t bootBytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 128;
  if (firmwareBytes == 0 || firmwareBytes > 0xF780 || bootBytes == 0 || bootBytes > 65534) {
    std::fprintf(stderr, "firmware 1..63360 bytes, bootstrap 1..65534 bytes\n");
    return 2;
  }

  char dirTemplate[] = "/tmp/boot-bench-XXXXXX";
  if (::mkdtemp(dirTemplate) == nullptr) return 1;
  const std::filesystem::path dir = dirTemplate;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);

  WriteBootFile("5vboot.a20", bootBytes);
  std::vector<char> firmware(firmwareBytes);
  for (size_t i = 0; i < firmwareBytes; ++i) firmware[i] = static_cast<char>(i % 251);
  std::ofstream("hsbt01.a20", std::ios::binary).write(firmware.data(), firmware.size());

  qelta::sim::SimDevice device;
  qelta::sim::TimingKnobs timing = device.Timing();
  timing.baud = kBaud;
  device.SetTiming(timing);
  auto& loader = qelta::sim::BootRomLoader::InstallInto(device);
  device.SetBootMode(true);
  auto pty = std::make_unique<qelta::sim::PtyEndpoint>();
  if (!pty->Ok()) {
    std::fprintf(stderr, "pty: %s\n", pty->Error().c_str());
    return 1;
  }
  const std::string path = pty->SlavePath();
  qelta::sim::DeviceRunner runner(device, std::make_unique<PacedReads>(std::move(pty), kBaud));
  runner.Start();

  int16_t result = 0;
  double elapsedMs = 0;
  {
    CHalvexCtrl link;
    link.SetComPortPath(1, path);
    link.SetMessageHandler([](const std::string& text, const std::string&) {
      std::fprintf(stderr, "message: %s\n", text.c_str());
    });
    const auto start = std::chrono::steady_clock::now();
    result = link.Boot("hsbt01.a20");
    elapsedMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    link.Disconnect();
  }
  runner.Stop();
  const size_t blocks = loader.BlockAddresses().size();
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
  if (result != 10) {
    std::fprintf(stderr, "the load failed with result %d\n", result);
    return 1;
  }

  // Wake-up (15 out, 1 back), start byte (1, 1), every bootstrap byte (1, 1), every block (34, 1).
  const double wireBytes =
      16.0 + 2.0 + 2.0 * static_cast<double>(bootBytes + 2) + 35.0 * static_cast<double>(blocks);
  const double wireMs = wireBytes * 10.0 * 1000.0 / kBaud;
  const size_t exchanges = 2 + bootBytes + 2 + blocks;
  const double gapsMs = static_cast<double>(exchanges) * kBatchCloseMs;
  const double floorMs = wireMs + gapsMs + kPrescribedWaitMs;
  std::printf("firmware:        %zu bytes in %zu blocks, bootstrap %zu bytes\n", firmwareBytes,
              blocks, bootBytes);
  std::printf("exchanges:       %zu (%.0f bytes on the wire, %.0f ms at %d baud)\n", exchanges,
              wireBytes, wireMs, kBaud);
  std::printf("batch gaps:      %.0f ms (%.0f ms an answer)\n", gapsMs, kBatchCloseMs);
  std::printf("prescribed waits: %.0f ms\n", kPrescribedWaitMs);
  std::printf("floor:           %.0f ms\n", floorMs);
  std::printf("measured:        %.0f ms\n", elapsedMs);
  std::printf("ratio to floor:  %.2f\n", elapsedMs / floorMs);
  return 0;
}

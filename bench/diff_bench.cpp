// A comparison with a device against its wire floor, and an unchanged re-upload beside a full
// upload. A file that sets every parameter is written into a simulated hand terminal on a pty
// whose answers are paced at 19200 baud; then `diff` reads back what the file writes. The floor
// of its reads is every request and answer byte at 19200 baud, the terminal's own answer delay
// and the 5 ms gap the line leaves after each answer; the reads must stay within 1.2 times it
// (the pty carries the requests at once, so they can come in under it). The whole comparison,
// with the connection and the device's identification, is shown beside it. Then the
// same file goes in again with changed-only writes (nothing differs: reads only, no write, no
// reset), timed beside the full upload.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchFiles.h"
#include "device/SimDevice.h"
#include "halvex/HalvexCtrl.h"
#include "params/DeviceCompare.h"
#include "params/ParamsOperations.h"
#include "params/UploadRecording.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"
#include "ui/ScriptedUi.h"

namespace {

constexpr uint32_t kBaud = 19200;
constexpr double kBatchGapSeconds = 0.005;
constexpr double kMostRatio = 1.2;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  qelta::sim::DeviceIdentity identity;
  identity.type = qelta::sim::kTypeHandTerminal;
  qelta::sim::SimDevice device(identity);
  qelta::sim::TimingKnobs timing = device.Timing();
  timing.baud = kBaud;
  device.SetTiming(timing);
  std::atomic<size_t> answerBytes = 0, requestBytes = 0, frames = 0, writes = 0;
  device.SetTrafficObserver([&](qelta::sim::Direction direction, std::span<const uint8_t> bytes) {
    if (direction == qelta::sim::Direction::kSent) {
      answerBytes += bytes.size();
      return;
    }
    ++frames;
    requestBytes += bytes.size();
    if (bytes.size() > 2 && bytes[2] == 0x10) ++writes;  // 02 N 10 ...: a memory write
  });
  auto pty = std::make_unique<qelta::sim::PtyEndpoint>();
  if (!pty->Ok()) {
    std::fprintf(stderr, "no pty: %s\n", pty->Error().c_str());
    return 1;
  }
  CHalvexCtrl link;
  link.SetComPortPath(1, pty->SlavePath());
  qelta::sim::DeviceRunner runner(device, std::move(pty));
  runner.Start();

  const std::string path =
      (std::filesystem::temp_directory_path() / "qelta-diff-bench.pcg").string();
  std::ofstream(path) << qelta::bench::EveryParameterFile();

  qelta::HalvexParamLink paramLink(link);
  qelta::bench::CountingRows rows;
  qelta::ScriptedUi ui;
  qelta::fleet::StationState state;
  std::vector<qelta::SelectionEntry> selection;
  qelta::fleet::RunSettings settings;
  settings.comPort = 1;
  qelta::TerminalView form(paramLink, rows, ui, state, settings, selection);
  form.configFilePath = path;

  auto start = std::chrono::steady_clock::now();
  qelta::UploadConfiguration(form);
  const double full = SecondsSince(start);
  const uint32_t resets = device.Activity().resets;

  answerBytes = requestBytes = frames = 0;
  start = std::chrono::steady_clock::now();
  const qelta::DeviceComparison found = qelta::CompareWithDevice(form, path, 8);
  const double diff = SecondsSince(start);
  const size_t diffFrames = frames, diffRequest = requestBytes, diffAnswer = answerBytes;
  const double floor =
      static_cast<double>(diffRequest + diffAnswer) * 10.0 / kBaud +
      static_cast<double>(diffFrames) * (timing.answer_delay.count() / 1000.0 + kBatchGapSeconds);

  // The same reads alone, on a link already open: what the comparison adds is the connection.
  link.Connect(1, 19200);
  answerBytes = requestBytes = frames = 0;
  start = std::chrono::steady_clock::now();
  qelta::MemoryBytes held;
  const auto writesOfFile = qelta::RecordUpload(path, 8, qelta::FunctionKeyTable{}, 2)
                                .value_or(std::vector<qelta::RecordedWrite>{});
  qelta::ReadMemory(paramLink, qelta::FileMemory(writesOfFile).ReadBlocks(), held);
  const double reads = SecondsSince(start);
  const double readsFloor = static_cast<double>(requestBytes + answerBytes) * 10.0 / kBaud +
                            static_cast<double>(frames.load()) *
                                (timing.answer_delay.count() / 1000.0 + kBatchGapSeconds);
  link.Disconnect();

  writes = 0;
  settings.writeChangedOnly = true;
  start = std::chrono::steady_clock::now();
  qelta::UploadConfiguration(form);
  const double unchanged = SecondsSince(start);
  runner.Stop();
  std::filesystem::remove(path);

  const bool inSync = found.InSync();
  const bool nothingWritten =
      writes == 0 && form.written && form.written->bytes == 0 && device.Activity().resets == resets;
  std::printf(
      "diff of every parameter (%zu lines) at %u baud: %zu frames, %zu request bytes, "
      "%zu answer bytes, %s\n",
      found.lines.size(), kBaud, diffFrames, diffRequest, diffAnswer,
      inSync ? "in sync" : "NOT in sync");
  std::printf(
      "its reads %.3f s, floor %.3f s (bytes both ways, answer delay, 5 ms gap), ratio "
      "%.2f (at most %.1f)\n",
      reads, readsFloor, reads / readsFloor, kMostRatio);
  std::printf(
      "the whole diff with connection and identification %.3f s, floor %.3f s, ratio "
      "%.2f\n",
      diff, floor, diff / floor);
  std::printf("full upload %.3f s, unchanged re-upload (changed-only) %.3f s: %.1f%%, %s\n", full,
              unchanged, 100.0 * unchanged / full,
              nothingWritten ? "no write, no reset" : "SOMETHING WRITTEN");
  return inSync && nothingWritten && reads / readsFloor <= kMostRatio && rows.failures == 0 ? 0 : 1;
}

// Configuration upload against its floor: a file that sets every parameter of the table is
// written into a simulated hand terminal on a pty whose answers are paced at 19200 baud. The
// floor counts everything the line and the protocol prescribe: each answer's time on the wire
// after the device's own answer delay, the receiving side's 5 ms batch gaps (an answer is taken
// once a 5 ms look finds no new byte, so even a short answer is handed over no earlier than 10 ms
// after its first byte) and the 100 ms wait of the port's closing. The ratio shows what the upload
// adds on top (frame handling, the link's hand-over between its threads, file parsing). The
// floor of a real line, with the requests' wire time added, is printed as well.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchFiles.h"
#include "device/SimDevice.h"
#include "halvex/HalvexCtrl.h"
#include "params/ParamsOperations.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"
#include "ui/ScriptedUi.h"

namespace {

// When the receiving side hands over an answer of `bytes` bytes, counted from its first byte: it
// looks every 5 ms, and the look that finds nothing new after the last byte ends the batch.
double BatchCloseMs(std::size_t bytes, double byteMs) {
  constexpr double kLookMs = 5.0;
  const double lastByte = static_cast<double>(bytes > 0 ? bytes - 1 : 0) * byteMs;
  const double looksUntilLast = std::max(1.0, std::ceil(lastByte / kLookMs - 1e-9));
  return (looksUntilLast + 1.0) * kLookMs;
}

}  // namespace

int main() {
  constexpr uint32_t kBaud = 19200;
  qelta::sim::DeviceIdentity identity;
  identity.type = qelta::sim::kTypeHandTerminal;
  qelta::sim::SimDevice device(identity);
  qelta::sim::TimingKnobs timing = device.Timing();
  timing.baud = kBaud;
  device.SetTiming(timing);
  size_t answerBytes = 0;
  size_t requestBytes = 0;
  size_t frames = 0;
  std::vector<size_t> answers;
  device.SetTrafficObserver([&](qelta::sim::Direction direction, std::span<const uint8_t> bytes) {
    if (direction == qelta::sim::Direction::kSent) {
      answerBytes += bytes.size();
      answers.push_back(bytes.size());
    } else {
      ++frames;
      requestBytes += bytes.size();
    }
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
      (std::filesystem::temp_directory_path() / "qelta-upload-bench.pcg").string();
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

  const auto start = std::chrono::steady_clock::now();
  qelta::UploadConfiguration(form);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  runner.Stop();
  std::filesystem::remove(path);

  constexpr double kPortCloseMs = 100.0;  // the closing port's wait (the last Disconnect)
  const double byteMs = 10.0 * 1000.0 / kBaud;
  const double delayMs = static_cast<double>(timing.answer_delay.count());
  // Per answer: the device's delay, then its first byte; the batch closes BatchCloseMs later,
  // which covers the bytes after the first on the wire and the gaps of the looks.
  double wireMs = 0;  // the answers' bytes after their first
  double gapsMs = 0;  // what the looks add on top
  for (const size_t bytes : answers) {
    const double after = static_cast<double>(bytes > 0 ? bytes - 1 : 0) * byteMs;
    wireMs += after;
    gapsMs += BatchCloseMs(bytes, byteMs) - after;
  }
  const double floorMs =
      static_cast<double>(answers.size()) * delayMs + wireMs + gapsMs + kPortCloseMs;
  const double floor = floorMs / 1000.0;
  // On a real serial line the requests take their wire time too; the pty carries them at once.
  const double lineFloor = floor + static_cast<double>(requestBytes) * 10.0 / kBaud;
  std::printf(
      "upload of every parameter at %u baud: %zu frames, %zu answers, %zu request bytes, %zu "
      "answer bytes, %zu rows, %zu failure rows\n",
      kBaud, frames, answers.size(), requestBytes, answerBytes, rows.added, rows.failures);
  std::printf(
      "floor %.3f s: answer delays %.3f s, answers on the wire %.3f s, batch gaps %.3f s, port "
      "closing %.3f s\n",
      floor, static_cast<double>(answers.size()) * delayMs / 1000.0, wireMs / 1000.0,
      gapsMs / 1000.0, kPortCloseMs / 1000.0);
  std::printf("total %.3f s, ratio to the floor %.2f\n", seconds, seconds / floor);
  std::printf("floor of a real line (both directions) %.3f s, ratio %.2f\n", lineFloor,
              seconds / lineFloor);
  return rows.failures == 0 ? 0 : 1;
}

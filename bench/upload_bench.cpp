// Configuration upload against its floor: a file that sets every parameter of the table is
// written into a simulated hand terminal on a pty whose answers are paced at 19200 baud. The
// floor is the time the terminal's answers need on the wire plus its own answer delay per frame
// (the pty carries the requests at once); the ratio shows what the upload adds on top (frame
// handling, the link's hand-over between its threads, file parsing). The floor of a real line,
// with the requests' wire time added, is printed as well.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchFiles.h"
#include "device/SimDevice.h"
#include "halvex/HalvexCtrl.h"
#include "params/ParamsOperations.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"
#include "ui/ScriptedUi.h"

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
  device.SetTrafficObserver([&](qelta::sim::Direction direction, std::span<const uint8_t> bytes) {
    if (direction == qelta::sim::Direction::kSent) {
      answerBytes += bytes.size();
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

  const double floor = static_cast<double>(answerBytes) * 10.0 / kBaud +
                       static_cast<double>(frames) * timing.answer_delay.count() / 1000.0;
  // On a real serial line the requests take their wire time too; the pty carries them at once.
  const double lineFloor = floor + static_cast<double>(requestBytes) * 10.0 / kBaud;
  std::printf(
      "upload of every parameter at %u baud: %zu frames, %zu request bytes, %zu answer "
      "bytes, %zu rows, %zu failure rows\n",
      kBaud, frames, requestBytes, answerBytes, rows.added, rows.failures);
  std::printf("total %.3f s, floor %.3f s (paced answers), ratio %.2f\n", seconds, floor,
              seconds / floor);
  std::printf("floor of a real line (both directions) %.3f s, ratio %.2f\n", lineFloor,
              seconds / lineFloor);
  return rows.failures == 0 ? 0 : 1;
}

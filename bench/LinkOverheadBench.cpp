// The link's own cost per exchange: from the last reply byte leaving a simulated device (paced at
// 19200 baud) to SendAndWait returning, against the exchange's time on the wire. Most of it is
// the 5 ms quiet gap that closes a receive batch.
//
//   scripts/netns build/bin/link_overhead_bench [exchanges]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <vector>

#include "SimSerialPort.h"
#include "device/SimDevice.h"
#include "halvex/HalvexCtrl.h"
#include "halvex/SerialPort.h"
#include "transport/DeviceRunner.h"
#include "transport/NullModem.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
  constexpr int kBaud = 19200;

  auto cable = qelta::sim::NullModem::Create();
  qelta::sim::SimDevice device;
  qelta::sim::TimingKnobs timing = device.Timing();
  timing.baud = kBaud;
  device.SetTiming(timing);

  std::mutex m;
  Clock::time_point lastByteOut{};
  size_t answerBytes = 0;
  device.SetTrafficObserver([&](qelta::sim::Direction dir, std::span<const std::uint8_t> bytes) {
    if (dir != qelta::sim::Direction::kSent) return;
    std::lock_guard lock(m);
    lastByteOut = Clock::now();
    answerBytes = bytes.size();
  });
  qelta::sim::DeviceRunner runner(device, qelta::sim::NullModem::DeviceEndpoint(cable));
  runner.Start();

  halvex::SetSerialPortFactory([cable](const std::string&, halvex::SerialOpenFailure*) {
    return halvex::test::OpenSimSerialPort(cable);
  });
  std::vector<double> overheadMs;
  size_t frameBytes = 0;
  {
    CHalvexCtrl link;
    link.SetComPortPath(1, "sim");
    if (!link.Connect(1, kBaud)) {
      std::fprintf(stderr, "cannot open the simulated line\n");
      return 1;
    }
    int16_t frame[] = {0x02, 0x01, 0x12, 0x03};  // the information request
    frameBytes = 4;
    for (int i = 0; i < exchanges; ++i) {
      if (!link.SendAndWait(frame, 4, 1000)) {
        std::fprintf(stderr, "exchange %d: no answer\n", i);
        return 1;
      }
      const Clock::time_point returned = Clock::now();
      std::lock_guard lock(m);
      overheadMs.push_back(
          std::chrono::duration<double, std::milli>(returned - lastByteOut).count());
    }
    link.Disconnect();
  }
  runner.Stop();
  halvex::SetSerialPortFactory(nullptr);

  std::sort(overheadMs.begin(), overheadMs.end());
  const double median = overheadMs[overheadMs.size() / 2];
  const double mean =
      std::accumulate(overheadMs.begin(), overheadMs.end(), 0.0) / overheadMs.size();
  const double wireMs = static_cast<double>(frameBytes + answerBytes) * 10.0 * 1000.0 / kBaud;
  std::printf("exchanges:            %d (%zu bytes out, %zu bytes back at %d baud)\n", exchanges,
              frameBytes, answerBytes, kBaud);
  std::printf("wire time:            %.2f ms per exchange\n", wireMs);
  std::printf("link overhead:        median %.2f ms, mean %.2f ms, max %.2f ms\n", median, mean,
              overheadMs.back());
  std::printf("overhead / wire time: %.2f\n", median / wireMs);
  return 0;
}

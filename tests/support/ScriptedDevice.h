// A scripted device behind a PeerLine: a thread that takes each burst of bytes the host sends as
// one frame, records it, and answers with whatever the script returns. It can mirror the host's
// RTS to the host's CTS, as a device does for the link's handshake.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "InProcessPort.h"

namespace halvex::test {

class ScriptedDevice {
 public:
  using Frame = std::vector<uint8_t>;
  // index counts frames from 0; nullopt: stay silent.
  using Script = std::function<std::optional<Frame>(const Frame& frame, int index)>;

  ScriptedDevice(PeerLine& line, Script script, bool mirrorRts = false);
  ~ScriptedDevice();

  struct Received {
    Frame bytes;
    std::chrono::steady_clock::time_point at;
    bool ctsWasUp;  // the host's CTS when the frame arrived
  };
  std::vector<Received> Frames() const;
  // Waits until at least n frames arrived.
  bool WaitFrames(size_t n, int timeoutMs) const;

  // Scripts.
  static Script Echo();
  static Script Silent();
  static Script AnswerFrom(int firstIndex, Frame answer);

 private:
  void Run();

  PeerLine& line_;
  Script script_;
  const bool mirrorRts_;
  std::atomic<bool> stop_{false};
  mutable std::mutex m_;
  mutable std::condition_variable cv_;
  std::vector<Received> frames_;
  bool cts_ = false;
  std::thread thread_;
};

// A pty whose slave path the link opens; its master is the device's PeerLine (no modem lines).
class PtyLine : public PeerLine {
 public:
  PtyLine();
  ~PtyLine() override;
  bool ok() const { return master_ >= 0; }
  const std::string& SlavePath() const { return slavePath_; }

  std::vector<uint8_t> Read(int timeoutMs) override;
  void Write(const std::vector<uint8_t>& bytes) override;
  bool HasModemLines() const override { return false; }
  bool HostRts() const override { return false; }
  void SetHostCts(bool) override {}

 private:
  int master_ = -1;
  int slaveKeep_ = -1;  // keeps the pty alive between the link's opens
  std::string slavePath_;
};

}  // namespace halvex::test

// An in-process serial port for the link's tests: it records every frame the link writes and
// answers through a script, so that tests see the exact bytes on the wire and choose the
// device's answer (or silence) per frame.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "halvex/HalvexCtrl.h"
#include "halvex/SerialPort.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;

struct SentFrame {
  Bytes bytes;
  std::chrono::steady_clock::time_point at;
};

// Shared between the test and the port the link opens.
class ScriptedLine {
 public:
  // Answer to one written frame; nullopt keeps the device silent.
  using Script = std::function<std::optional<Bytes>(const Bytes& frame)>;

  void SetScript(Script s) {
    std::lock_guard<std::mutex> l(m_);
    script_ = std::move(s);
  }

  std::vector<SentFrame> Sent() const {
    std::lock_guard<std::mutex> l(m_);
    return sent_;
  }
  std::vector<Bytes> SentBytes() const {
    std::lock_guard<std::mutex> l(m_);
    std::vector<Bytes> out;
    for (const auto& f : sent_) out.push_back(f.bytes);
    return out;
  }
  void ClearSent() {
    std::lock_guard<std::mutex> l(m_);
    sent_.clear();
  }

  // Bytes that arrive without a request (BER records, noise).
  void Inject(const Bytes& b) {
    std::lock_guard<std::mutex> l(m_);
    rx_.insert(rx_.end(), b.begin(), b.end());
    cv_.notify_all();
  }

  // --- port side ---
  void OnWrite(const uint8_t* buf, size_t n) {
    Script script;
    Bytes frame(buf, buf + n);
    {
      std::lock_guard<std::mutex> l(m_);
      sent_.push_back({frame, std::chrono::steady_clock::now()});
      script = script_;
    }
    std::optional<Bytes> answer = script ? script(frame) : std::nullopt;
    if (answer) Inject(*answer);
  }
  long Read(uint8_t* buf, size_t n) {
    std::lock_guard<std::mutex> l(m_);
    if (closed_) return -1;
    size_t k = 0;
    while (k < n && !rx_.empty()) {
      buf[k++] = rx_.front();
      rx_.pop_front();
    }
    return static_cast<long>(k);
  }
  unsigned Wait(int timeoutMs) {
    std::unique_lock<std::mutex> l(m_);
    auto ready = [this] { return closed_ || cancelled_ || !rx_.empty(); };
    if (timeoutMs < 0) {
      cv_.wait(l, ready);
    } else {
      cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), ready);
    }
    if (cancelled_ || closed_) return halvex::SerialPort::kCancelled;
    return rx_.empty() ? halvex::SerialPort::kNone : halvex::SerialPort::kData;
  }
  void Cancel() {
    std::lock_guard<std::mutex> l(m_);
    cancelled_ = true;
    cv_.notify_all();
  }
  void Opened() {
    std::lock_guard<std::mutex> l(m_);
    cancelled_ = false;
    closed_ = false;
  }
  void PurgeRx() {
    std::lock_guard<std::mutex> l(m_);
    rx_.clear();
  }

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  Script script_;
  std::vector<SentFrame> sent_;
  std::deque<uint8_t> rx_;
  bool cancelled_ = false;
  bool closed_ = false;
};

class ScriptedPort : public halvex::SerialPort {
 public:
  explicit ScriptedPort(std::shared_ptr<ScriptedLine> line) : line_(std::move(line)) {
    line_->Opened();
  }
  bool ReadLineSettings() override { return true; }
  bool ApplyLineSettings(int) override { return true; }
  bool EnableEvents() override { return true; }
  bool SetImmediateReads() override { return true; }
  bool HasModemLines() const override { return false; }
  bool SetRts(bool) override { return false; }
  bool GetCts(bool*) override { return false; }
  long Read(uint8_t* buf, size_t n) override { return line_->Read(buf, n); }
  WriteResult Write(const uint8_t* buf, size_t n) override {
    line_->OnWrite(buf, n);
    return {n, true};
  }
  unsigned Wait(int timeoutMs) override { return line_->Wait(timeoutMs); }
  void Cancel() override { line_->Cancel(); }
  void Purge(bool, bool rx) override {
    if (rx) line_->PurgeRx();
  }

 private:
  std::shared_ptr<ScriptedLine> line_;
};

// Installs the scripted line as every serial port the link opens, for the life of the object.
class ScriptedLineInstall {
 public:
  ScriptedLineInstall() : line(std::make_shared<ScriptedLine>()) {
    auto l = line;
    halvex::SetSerialPortFactory([l](const std::string&) -> std::unique_ptr<halvex::SerialPort> {
      return std::make_unique<ScriptedPort>(l);
    });
  }
  ~ScriptedLineInstall() { halvex::SetSerialPortFactory({}); }
  std::shared_ptr<ScriptedLine> line;
};

inline Bytes B(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(static_cast<uint8_t>(x));
  return b;
}

}  // namespace linktest

// A link connected to an in-process serial line with a scripted device on the far end, and an
// event sink that records what the link fires.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "InProcessPort.h"
#include "ScriptedDevice.h"
#include "halvex/HalvexCtrl.h"

namespace linktest {

using Bytes = std::vector<uint8_t>;
using Script = std::function<std::optional<Bytes>(const Bytes& frame)>;

inline Bytes B(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(static_cast<uint8_t>(x));
  return b;
}

struct RecordingSink : HalvexEvents {
  std::mutex m;
  std::vector<int16_t> berCounts;
  int dataFromCom = 0;
  std::vector<int16_t> blockData;
  int16_t blockLen = -1;

  void DataFromCOM(int16_t*, int16_t) override {
    std::lock_guard<std::mutex> l(m);
    ++dataFromCom;
  }
  void EepromBlockData(int16_t* data, int16_t len, int16_t, int16_t) override {
    blockData.assign(data, data + len + 4);
    blockLen = len;
  }
  void BERDataArrive(int16_t cnt) override {
    std::lock_guard<std::mutex> l(m);
    berCounts.push_back(cnt);
  }
};

// The line as the tests see it: what the link wrote, and the device's script (silent at first).
class Line {
 public:
  Line() : device_(pair_->Peer(), [this](const Bytes& f, int) { return Answer(f); }) {
    ports_.Add("p", pair_);
  }
  void SetScript(Script s) {
    std::lock_guard<std::mutex> l(m_);
    script_ = std::move(s);
  }
  std::vector<halvex::test::PortPair::HostWrite> Sent() const {
    auto all = pair_->Writes();
    return {all.begin() + static_cast<long>(std::min(cleared_, all.size())), all.end()};
  }
  std::vector<Bytes> SentBytes() const {
    std::vector<Bytes> out;
    for (const auto& w : Sent()) out.push_back(w.bytes);
    return out;
  }
  void ClearSent() { cleared_ = pair_->Writes().size(); }
  // Bytes that arrive without a request (BER records, noise).
  void Inject(const Bytes& b) { pair_->Peer().Write(b); }

 private:
  std::optional<Bytes> Answer(const Bytes& frame) {
    Script s;
    {
      std::lock_guard<std::mutex> l(m_);
      s = script_;
    }
    return s ? s(frame) : std::nullopt;
  }
  halvex::test::PortFactoryScope ports_;
  std::shared_ptr<halvex::test::PortPair> pair_ = halvex::test::PortPair::Create(false);
  std::mutex m_;
  Script script_;
  size_t cleared_ = 0;
  halvex::test::ScriptedDevice device_;
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.SetComPortPath(1, "inproc:p");
    link.SetEventSink(&sink);
    link.SetMessageHandler([this](const std::string& text, const std::string& caption) {
      messages.emplace_back(text, caption);
    });
    ASSERT_TRUE(link.Connect(1, 19200));
  }
  void TearDown() override { link.SetEventSink(nullptr); }

  Line& line() { return line_; }
  void AnswerAll(Bytes answer) {
    line_.SetScript([answer](const Bytes&) { return std::optional<Bytes>(answer); });
  }
  // Frames sent without waiting go out on the Send worker: wait until n were written.
  std::vector<Bytes> WaitSent(size_t n) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (line_.Sent().size() < n && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return line_.SentBytes();
  }

  Line line_;
  RecordingSink sink;
  std::vector<std::pair<std::string, std::string>> messages;
  CHalvexCtrl link;
};

inline long MsSince(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0)
          .count());
}

}  // namespace linktest

// A link connected to a scripted serial line, with an event sink that records what it hears.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "ScriptedPort.h"
#include "halvex/HalvexCtrl.h"

namespace linktest {

struct RecordingSink : HalvexEvents {
  std::mutex m;
  std::vector<int16_t> berCounts;
  int dataFromCom = 0;
  std::vector<int16_t> blockData;
  int16_t blockLen = -1, blockStart = -1, blockPage = -1;

  void DataFromCOM(int16_t*, int16_t) override {
    std::lock_guard<std::mutex> l(m);
    ++dataFromCom;
  }
  void EepromBlockData(int16_t* data, int16_t len, int16_t start, int16_t page) override {
    blockData.assign(data, data + len + 4);
    blockLen = len;
    blockStart = start;
    blockPage = page;
  }
  void BERDataArrive(int16_t cnt) override {
    std::lock_guard<std::mutex> l(m);
    berCounts.push_back(cnt);
  }
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.SetEventSink(&sink);
    link.SetMessageHandler([this](const std::string& text, const std::string& caption) {
      messages.emplace_back(text, caption);
    });
    ASSERT_TRUE(link.Connect(1, 19200));
  }
  void TearDown() override { link.SetEventSink(nullptr); }

  ScriptedLine& line() { return *install.line; }

  // Answers every frame with the same bytes.
  void AnswerAll(Bytes answer) {
    line().SetScript([answer](const Bytes&) { return std::optional<Bytes>(answer); });
  }

  // Frames sent without waiting go out on the Send worker: wait until n were written.
  std::vector<Bytes> WaitSent(size_t n) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (line().Sent().size() < n && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return line().SentBytes();
  }

  ScriptedLineInstall install;
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

// A simulated device on a pty and the parameter operations' form around a real link object, for
// the suites that run the operations end to end.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "FakeDevice.h"
#include "TestForm.h"
#include "device/SimDevice.h"
#include "halvex/HalvexCtrl.h"
#include "params/TerminalView.h"
#include "transport/DeviceRunner.h"
#include "transport/PtyEndpoint.h"

namespace qelta::test {

inline const std::string kDataDir = QELTA_DATA_DIR "/";

class SimLine {
 public:
  explicit SimLine(uint8_t type, uint16_t id = 0) : device_(Identity(type, id)) {
    auto pty = std::make_unique<sim::PtyEndpoint>();
    EXPECT_TRUE(pty->Ok()) << pty->Error();
    path_ = pty->SlavePath();
    runner_ = std::make_unique<sim::DeviceRunner>(device_, std::move(pty));
    runner_->Start();
  }
  sim::SimDevice& device() { return device_; }
  const std::string& path() const { return path_; }
  std::vector<uint8_t> Extended() { return device_.Extended(); }
  void Poke(size_t address, const std::string& bytes, sim::MemoryArea area) {
    device_.WithMemory([&](sim::DeviceMemory& memory) {
      auto span = memory.Area(area);
      std::copy(bytes.begin(), bytes.end(), span.begin() + static_cast<long>(address));
    });
  }

 private:
  static sim::DeviceIdentity Identity(uint8_t type, uint16_t id) {
    sim::DeviceIdentity identity;
    identity.type = type;
    identity.id = id;
    return identity;
  }
  sim::SimDevice device_;
  std::unique_ptr<sim::DeviceRunner> runner_;
  std::string path_;
};

// The form of the program around a real link object.
struct LinkForm {
  LinkForm() {
    settings.workingFolder = kDataDir;
    settings.comPort = 3;
    settings.productionMode = true;
    form.editorCommand = {"editor"};
  }
  CHalvexCtrl link;
  HalvexParamLink paramLink{link};
  FakeRows rows;
  ScriptedUi ui;
  fleet::StationState state;
  std::vector<SelectionEntry> selection;
  TempFolder folder;
  fleet::RunSettings settings;
  TerminalView form{paramLink, rows, ui, state, settings, selection};

  void Attach(int port, const SimLine& line) {
    link.SetComPortPath(static_cast<int16_t>(port), line.path());
    settings.comPort = port;
  }
  std::vector<std::string> FailureRows() const {
    std::vector<std::string> failures;
    for (const Row& row : rows.rows) {
      if (row.image == kImageFailure) failures.push_back(row.name);
    }
    return failures;
  }
};

}  // namespace qelta::test

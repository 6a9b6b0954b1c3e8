// A ParamsForm around a FakeDevice, recorded rows, a scripted UI and a temporary working folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "FakeDevice.h"
#include "params/ParamsForm.h"
#include "ui/ScriptedUi.h"

namespace qelta::test {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/qelta-params-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string Write(const std::string& name, const std::string& content) const {
    const std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << content;
    return file;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ + "/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;
};

struct TestForm {
  FakeDevice device;
  FakeRows rows;
  ScriptedUi ui;
  ParamsState state;
  TempFolder folder;
  int32_t comPort = 3;
  int16_t eepromPage = 0;
  bool deviceMenuEnabled = false;
  std::atomic<bool> listShowsBaseStations{false};
  std::string configFilePath;
  std::string programDir = folder.path() + "/";
  std::string startDir;
  int32_t uiProduction = 0;
  int settingsStores = 0;
  ParamsForm form{.link = device,
                  .rows = rows,
                  .ui = ui,
                  .state = state,
                  .comPort = comPort,
                  .eepromPage = eepromPage,
                  .deviceMenuEnabled = deviceMenuEnabled,
                  .listShowsBaseStations = listShowsBaseStations,
                  .configFilePath = configFilePath,
                  .programDir = programDir,
                  .startDir = startDir,
                  .uiProduction = uiProduction,
                  .stations = {},
                  .storeSettingsPath = [this] { ++settingsStores; },
                  .editorCommand = {"editor"}};
};

}  // namespace qelta::test

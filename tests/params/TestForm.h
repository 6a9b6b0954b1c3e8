// A TerminalView around a FakeDevice, recorded rows, a scripted UI and a temporary working folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "FakeDevice.h"
#include "params/TerminalView.h"
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
  TestForm() {
    settings.workingFolder = folder.path() + "/";
    settings.comPort = 3;
    form.storeSettingsPath = [this] { ++settingsStores; };
    form.editorCommand = {"editor"};
  }
  FakeDevice device;
  FakeRows rows;
  ScriptedUi ui;
  fleet::StationState state;
  std::vector<SelectionEntry> selection;
  TempFolder folder;
  fleet::RunSettings settings;
  int settingsStores = 0;
  TerminalView form{device, rows, ui, state, settings, selection};
};

}  // namespace qelta::test

// Shared pieces of the main form's tests: a private temporary folder per test (settings file,
// working folder, data home), injectable browser answers and file access that can be made to fail.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "core/FileAccess.h"
#include "app/HttpHandlerLookup.h"
#include "app/QeltaConfigView.h"
#include "ui/ScriptedUi.h"

class FakeBrowserLookup : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer answer{0, 0, "/usr/bin/testbrowser %u"};
  int queries = 0;
  HttpHandlerAnswer Query() override {
    ++queries;
    return answer;
  }
};

// Real files, with failures switched on per operation.
class FaultyFiles : public PosixFileAccess {
 public:
  int readError = 0;   // for ReadFile of the settings file
  int writeError = 0;  // for WriteFileAtomic
  int mkdirError = 0;
  std::string onlyPath;  // when set, failures apply to this path only
  // Runs once, after the next read: another program's change landing just then.
  std::function<void()> afterRead;
  int ReadFile(const std::string& path, std::string& out, std::size_t limit) override {
    if (readError && Applies(path)) return readError;
    const int e = PosixFileAccess::ReadFile(path, out, limit);
    if (auto hook = std::exchange(afterRead, nullptr)) hook();
    return e;
  }
  int WriteFileAtomic(const std::string& path, const std::string& data, mode_t mode) override {
    if (writeError && Applies(path)) return writeError;
    return PosixFileAccess::WriteFileAtomic(path, data, mode);
  }
  int MakeDirs(const std::string& dir, mode_t mode) override {
    if (mkdirError) return mkdirError;
    return PosixFileAccess::MakeDirs(dir, mode);
  }

 private:
  bool Applies(const std::string& path) const { return onlyPath.empty() || path == onlyPath; }
};

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (std::filesystem::temp_directory_path() / "qelta-app-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    root = templ;
    std::filesystem::create_directories(root + "/bin");
    settingsFile = root + "/config/Tervana/QeltaConfigurator.conf";
    // Nothing here may reach the real user's files.
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  }
  void TearDown() override {
    form.reset();
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  FormEnvironment Env() {
    FormEnvironment env;
    env.files = &files;
    env.browserLookup = &browser;
    env.settingsFile = settingsFile;
    env.workingFolder.exePath = root + "/bin/qeltaconfig";
    env.changeDirectory = false;
    return env;
  }

  // Creates the form and initialises it, as the program's start does.
  CQeltaConfigView& Start(FormHooks hooks = {}) {
    form.reset();
    form = std::make_unique<CQeltaConfigView>(ui, Env(), std::move(hooks));
    form->InitialiseForm();
    return *form;
  }

  void WriteSettings(const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(settingsFile).parent_path());
    std::ofstream(settingsFile, std::ios::binary) << contents;
  }
  std::string ReadSettingsFile() const {
    std::ifstream in(settingsFile, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  SettingsDocument Settings() const { return SettingsDocument::Parse(ReadSettingsFile()); }
  std::optional<uint32_t> Number(const std::string& name) const {
    return ReadNumberValue(Settings(), name);
  }
  std::optional<std::string> Text(const std::string& name) const {
    return ReadTextValue(Settings(), name, 100000);
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : ui.Messages()) out.push_back(m.text);
    return out;
  }

  std::string root;
  std::string settingsFile;
  FaultyFiles files;
  FakeBrowserLookup browser;
  qelta::ScriptedUi ui;
  std::unique_ptr<CQeltaConfigView> form;
};

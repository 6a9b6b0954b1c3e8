// Shared set-up of the window tests: one QApplication on the offscreen platform, a temporary home
// for settings, runtime files and the working folder, and a watcher that answers modal windows.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/HttpHandlerLookup.h"
#include "gui/MainWindow.h"

class QWidget;

namespace qelta::gui::test {

// A browser is always "found", so no message box about it comes up at start.
class FixedBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/xdg-open %u"}; }
};

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The real main window on this test's settings.
  // `discovery` false: the form starts no discovery, whose status updates would race a test's own
  // texts in the status label.
  std::unique_ptr<MainWindow> makeWindow(bool discovery = true);
  void writeNumber(const std::string& name, uint32_t value);
  std::optional<uint32_t> readNumber(const std::string& name);

  QString path(const QString& relative) const { return home_.filePath(relative); }

 private:
  QTemporaryDir home_;
  FixedBrowser browser_;
};

// Answers modal windows while it lives: every 10 ms the handler sees the visible top-level
// widgets other than the main window and returns true when it dealt with one.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(std::function<bool(QWidget*)> handler);
  ~ModalAnswerer();
  int answered() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Processes events for `ms` milliseconds or until `done` holds.
bool waitUntil(const std::function<bool()>& done, int ms = 3000);

}  // namespace qelta::gui::test

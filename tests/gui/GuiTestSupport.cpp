#include "GuiTestSupport.h"

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>

#include "core/FileAccess.h"
#include "core/SettingsStore.h"

namespace qelta::gui::test {
namespace {

// The application lives for the whole test program and goes before static destruction.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "gui_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void GuiTest::SetUp() {
  ASSERT_TRUE(home_.isValid());
  QDir(home_.path()).mkpath(QStringLiteral("config"));
  QDir(home_.path()).mkpath(QStringLiteral("run"));
  QDir(home_.path()).mkpath(QStringLiteral("bin"));
  ::chmod(path(QStringLiteral("run")).toLocal8Bit().constData(), 0700);
  ::setenv("XDG_CONFIG_HOME", path(QStringLiteral("config")).toLocal8Bit().constData(), 1);
  ::setenv("XDG_RUNTIME_DIR", path(QStringLiteral("run")).toLocal8Bit().constData(), 1);
  ::setenv("XDG_DATA_HOME", path(QStringLiteral("data")).toLocal8Bit().constData(), 1);
}

void GuiTest::TearDown() {
  // Windows closed by a test are deleted later; let that happen inside the test.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::unique_ptr<MainWindow> GuiTest::makeWindow(bool discovery) {
  FormEnvironment env;
  env.discoveryAtConstruction = discovery;
  env.browserLookup = &browser_;
  env.workingFolder.exePath = path(QStringLiteral("bin/qeltaconfig")).toStdString();
  return std::make_unique<MainWindow>(env);
}

void GuiTest::writeNumber(const std::string& name, uint32_t value) {
  SettingsStore store(RealFileAccess(), SettingsStore::DefaultPath());
  ASSERT_EQ(store.Create(), 0);
  ASSERT_EQ(store.WriteNumber(name, value), 0);
}

std::optional<uint32_t> GuiTest::readNumber(const std::string& name) {
  SettingsStore store(RealFileAccess(), SettingsStore::DefaultPath());
  SettingsDocument doc;
  if (store.Open(doc) != 0) return std::nullopt;
  return ReadNumberValue(doc, name);
}

struct ModalAnswerer::Impl {
  QTimer timer;
  int answered = 0;
};

ModalAnswerer::ModalAnswerer(std::function<bool(QWidget*)> handler) : d_(std::make_unique<Impl>()) {
  QObject::connect(&d_->timer, &QTimer::timeout, [this, handler] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!widget->isVisible() || qobject_cast<MainWindow*>(widget)) continue;
      if (handler(widget)) {
        ++d_->answered;
        return;
      }
    }
  });
  d_->timer.start(10);
}

ModalAnswerer::~ModalAnswerer() = default;

int ModalAnswerer::answered() const { return d_->answered; }

bool waitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace qelta::gui::test

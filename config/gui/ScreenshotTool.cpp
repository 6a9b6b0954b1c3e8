// qeltaconfig-screenshot --mode plain|service|production --output FILE.png
// Stores the mode in the settings (the caller points XDG_CONFIG_HOME at a temporary folder),
// builds the real main window, lets it start up and saves a picture of it. Used by
// scripts/screenshot; not installed.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/FileAccess.h"
#include "app/HttpHandlerLookup.h"
#include "app/SettingsStore.h"
#include "gui/MainWindow.h"

namespace {

// The picture shows the window, not this machine's desktop set-up: a browser is always "found".
class FixedBrowser : public IHttpHandlerLookup {
 public:
  HttpHandlerAnswer Query() override { return {0, 0, "/usr/bin/xdg-open %u"}; }
};

// Any message box that still comes up is printed and closed, so the tool never waits for a user.
void closeMessageBoxes() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (!box || !box->isVisible()) continue;
    std::fprintf(stderr, "message box \"%s\": %s\n", qPrintable(box->windowTitle()),
                 qPrintable(box->text()));
    box->done(QMessageBox::Cancel);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode;
  std::string output;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mode") == 0)
      mode = argv[i + 1];
    else if (std::strcmp(argv[i], "--output") == 0)
      output = argv[i + 1];
  }
  if ((mode != "plain" && mode != "service" && mode != "production") || output.empty()) {
    std::fprintf(stderr, "usage: %s --mode plain|service|production --output FILE.png\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")) {
    std::fprintf(stderr,
                 "refusing to run without XDG_CONFIG_HOME (it would change your settings)\n");
    return 2;
  }

  QApplication app(argc, argv);
  SettingsStore store(RealFileAccess(), SettingsStore::DefaultPath());
  if (store.Create() != 0 || store.WriteNumber("UIService", mode == "service" ? 1 : 0) != 0 ||
      store.WriteNumber("UIProduction", mode == "production" ? 1 : 0) != 0) {
    std::fprintf(stderr, "cannot write the settings in %s\n", store.Path().c_str());
    return 1;
  }

  QTimer dismisser;
  QObject::connect(&dismisser, &QTimer::timeout, &closeMessageBoxes);
  dismisser.start(200);

  FixedBrowser browser;
  FormEnvironment env;
  env.browserLookup = &browser;
  qelta::gui::MainWindow window(env);
  window.show();
  // Let the start timer and the first discovery cycles run so the window shows its settled state.
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 1500) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  const QPixmap picture = window.grab();
  if (!picture.save(QString::fromStdString(output), "PNG")) {
    std::fprintf(stderr, "cannot save %s\n", output.c_str());
    return 1;
  }
  return 0;
}

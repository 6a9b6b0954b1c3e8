// qeltaconfig-screenshot --mode plain|service|production --output FILE.png [--view-stations]
//                        [--link-settings FILE.png]
// Stores the mode in the settings (the caller points XDG_CONFIG_HOME at a temporary folder),
// builds the real main window, lets it start up and saves a picture of it. --view-stations lets
// discovery find the (simulated) base stations and shows them with "View base stations" first;
// --link-settings also saves a picture of the "Link settings" dialog. Used by scripts/screenshot
// inside the private network namespace; not installed.
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/FileAccess.h"
#include "app/HttpHandlerLookup.h"
#include "core/SettingsStore.h"
#include "gui/MainWindow.h"
#include "gui/ModelDialog.h"

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

void processEventsFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode;
  std::string output;
  std::string linkSettingsOutput;
  bool viewStations = false;
  bool usage = false;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--mode") == 0 && hasValue)
      mode = argv[++i];
    else if (std::strcmp(argv[i], "--output") == 0 && hasValue)
      output = argv[++i];
    else if (std::strcmp(argv[i], "--link-settings") == 0 && hasValue)
      linkSettingsOutput = argv[++i];
    else if (std::strcmp(argv[i], "--view-stations") == 0)
      viewStations = true;
    else
      usage = true;
  }
  if (usage || (mode != "plain" && mode != "service" && mode != "production") || output.empty()) {
    std::fprintf(stderr,
                 "usage: %s --mode plain|service|production --output FILE.png [--view-stations] "
                 "[--link-settings FILE.png]\n",
                 argv[0]);
    return 2;
  }
  if (qEnvironmentVariable("QELTA_NETNS") != QStringLiteral("1")) {
    std::fprintf(stderr, "refusing to run outside scripts/netns (the window starts discovery)\n");
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
  processEventsFor(viewStations ? 3000 : 1500);
  if (viewStations) {
    if (!window.runCommand(ids::kCmdViewBaseStations)) {
      std::fprintf(stderr, "the window did not take \"View base stations\"\n");
      return 1;
    }
    processEventsFor(300);
  }
  if (!window.grab().save(QString::fromStdString(output), "PNG")) {
    std::fprintf(stderr, "cannot save %s\n", output.c_str());
    return 1;
  }

  if (!linkSettingsOutput.empty()) {
    // The dialog is modal: it is pictured and closed from a timer while the command waits for it.
    bool saved = false;
    QTimer picture;
    QObject::connect(&picture, &QTimer::timeout, [&] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<qelta::gui::ModelDialog*>(widget);
        if (!dialog || !dialog->isVisible()) continue;
        saved = dialog->grab().save(QString::fromStdString(linkSettingsOutput), "PNG");
        dialog->cancelButton()->click();
      }
    });
    picture.start(300);
    window.runCommand(ids::kCmdLinkSettings);
    if (!saved) {
      std::fprintf(stderr, "cannot save %s\n", linkSettingsOutput.c_str());
      return 1;
    }
  }
  return 0;
}

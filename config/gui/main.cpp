// qeltaconfig: the configurator's window. One copy per user: a second start brings the running
// window forward and ends. A file named on the command line is opened as the document.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#include "gui/MainWindow.h"
#include "gui/QtUiPort.h"
#include "gui/SignalQuit.h"
#include "gui/SingleInstance.h"

namespace {

// How long the box about a copy that does not answer stays up unless closed earlier: whoever
// started this second copy (a person, a file manager, a script) gets it back.
constexpr int kNotAnsweringBoxMs = 60000;

// Said on stderr always, and in a box where a person can see one (not on the offscreen or
// minimal platforms, where nobody could ever close it).
void tellNotAnswering(const QString& lockPath) {
  const QString text =
      QStringLiteral("QeltaConfig is already running (lock %1) but does not answer.").arg(lockPath);
  std::fprintf(stderr, "qeltaconfig: %s\n", qPrintable(text));
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return;
  QMessageBox box(QMessageBox::Critical, QStringLiteral("QeltaConfig"), text, QMessageBox::Ok);
  QTimer::singleShot(kNotAnsweringBoxMs, &box, &QMessageBox::reject);
  box.exec();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("QeltaConfig"));
  QApplication::setOrganizationName(QStringLiteral("Tervana"));
  QApplication::setDesktopFileName(QStringLiteral("qeltaconfig"));

  qelta::gui::SingleInstance instance;
  switch (instance.acquire()) {
    case qelta::gui::SingleInstance::Outcome::kFirst:
      break;
    case qelta::gui::SingleInstance::Outcome::kRunning: {
      using HandOver = qelta::gui::SingleInstance::HandOver;
      const HandOver handOver = instance.handOver();
      if (handOver == HandOver::kAnswered) return 0;
      if (handOver == HandOver::kNoAnswer) {
        // The lock's owner lives but does not answer: two copies would fight over the serial port.
        tellNotAnswering(instance.lockPath());
        return 1;
      }
      break;  // that copy ended meanwhile: this one is the window now
    }
    case qelta::gui::SingleInstance::Outcome::kUnavailable:
      std::fprintf(stderr, "qeltaconfig: cannot take the single-instance lock %s; going on\n",
                   qPrintable(instance.lockPath()));
      break;
  }

  // A termination signal cancels whatever waits for an answer and ends the event loop, so the
  // form is destroyed in order (discovery stopped, the device link closed, the lock released).
  // It may come while the window is still being set up (a start-up message on the screen).
  bool stopRequested = false;
  qelta::gui::SignalQuit quitOnSignal;
  QObject::connect(&quitOnSignal, &qelta::gui::SignalQuit::quitRequested, &app, [&stopRequested] {
    stopRequested = true;
    qelta::gui::QtUiPort::stopAsking();
    QCoreApplication::exit(0);
  });

  qelta::gui::MainWindow window;
  QObject::connect(&instance, &qelta::gui::SingleInstance::activationRequested, &window,
                   &qelta::gui::MainWindow::bringForward);
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) window.openDocument(args.at(1));
  window.show();
  if (stopRequested) return 0;
  return QApplication::exec();
}

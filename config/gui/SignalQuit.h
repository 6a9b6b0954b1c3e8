// SIGTERM, SIGINT and SIGHUP end the event loop like closing the window, so the form is destroyed
// in order (discovery stopped, the device link closed, the single-instance lock released).
#pragma once

#include <QObject>

class QSocketNotifier;

namespace qelta::gui {

class SignalQuit : public QObject {
  Q_OBJECT
 public:
  explicit SignalQuit(QObject* parent = nullptr);
  ~SignalQuit() override;
  // False when the signals could not be routed (the program then keeps the default actions).
  bool installed() const { return notifier_ != nullptr; }

 signals:
  void quitRequested(int signalNumber);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace qelta::gui

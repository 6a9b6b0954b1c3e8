// The UI port for people: message boxes, dialogs, file dialogs, beep, processes, timers and
// context menus in Qt, on the main window.
//
// While an operation of the form runs (the window calls beginOperation/endOperation around every
// call into the form), the window repaints when the form asks it to (KeepPainting) but takes no
// input, and timers that come due are held back and run once the operation has ended, so no
// operation can start inside another one.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "ui/UiPort.h"

class QTimer;

namespace qelta::gui {

class QtUiPort : public QObject, public qelta::UiPort {
  Q_OBJECT
 public:
  explicit QtUiPort(QObject* parent = nullptr);
  ~QtUiPort() override;

  // The window that owns the modal boxes and dialogs (may change; nullptr: none).
  void setWindow(QWidget* window) { window_ = window; }

  // Operations nest (a timer's handler may run inside none, a dialog's button inside one).
  void beginOperation();
  void endOperation();
  bool busy() const { return depth_ > 0; }
  // How long the last outermost operation ran, in milliseconds.
  qint64 lastOperationMs() const { return lastOperationMs_; }

  // The program is being stopped (a termination signal): from now on every question gets the
  // cautious answer at once (Cancel, no file, no menu choice) without being shown, and the boxes
  // and dialogs that are open are cancelled. Process-wide, GUI thread only.
  static void stopAsking();
  // The stop was called off: questions are shown again.
  static void resumeAsking() { stopping_ = false; }
  static bool stopping() { return stopping_; }

  // Stops and forgets every timer (the form is going away).
  void stopAllTimers();
  bool timerArmed(int id) const;

  // --- UiPort ---
  qelta::MessageAnswer MessageBox(const std::string& text, const std::string& caption,
                                  qelta::MessageButtons buttons, qelta::MessageIcon icon) override;
  bool RunDialog(qelta::DialogModel& dialog) override;
  std::optional<std::string> FileDialog(const qelta::FileDialogRequest& request) override;
  void Beep() override;
  int StartProcess(const qelta::ProcessRequest& request) override;
  void StartTimer(int id, int ms, std::function<void()> onFire) override;
  void StopTimer(int id) override;
  int PopupMenu(const qelta::MenuModel& menu, int x, int y) override;
  void KeepPainting() override;
  void PostToFormThread(std::function<void()> task) override;

  // From now on posted tasks are dropped (the form they refer to is going away). GUI thread.
  void discardPostedTasks() { acceptPosted_ = false; }

 signals:
  // An operation has ended and none is running: the window checks for a close request.
  void operationsFinished();

 private:
  struct Timer {
    QTimer* timer = nullptr;
    std::function<void()> onFire;
  };
  void timerFired(int id);
  void runDeferredTimers();

  QPointer<QWidget> window_;
  int depth_ = 0;
  QElapsedTimer operationClock_;
  qint64 lastOperationMs_ = 0;
  std::map<int, Timer> timers_;
  std::set<int> deferred_;
  bool acceptPosted_ = true;  // GUI thread only
  static inline bool stopping_ = false;
};

// Name filters for a file dialog request: an initial name with wildcards ("*.pcg",
// "hsbt*.a20;bsbt*.a20") becomes the first filter, labelled with the request's filter caption
// when it has no pattern of its own; "All files (*)" comes last.
QStringList fileDialogFilters(const qelta::FileDialogRequest& request);

}  // namespace qelta::gui

#include "gui/QtUiPort.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>

#include "gui/ModelDialog.h"

namespace qelta::gui {
namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

QStringList fileDialogFilters(const qelta::FileDialogRequest& request) {
  QStringList filters;
  const QString caption = qs(request.filter);
  const bool captionHasPattern = caption.contains(u'(') && caption.endsWith(u')');
  const QString patterns = hasWildcard(request.initialName)
                               ? qs(request.initialName).split(u';', Qt::SkipEmptyParts).join(u' ')
                               : QString();
  if (captionHasPattern) {
    // The caption names its own patterns; a different wildcard name is offered before it.
    if (!patterns.isEmpty() && !caption.endsWith(u'(' + patterns + u')'))
      filters << patterns + QStringLiteral(" (") + patterns + u')';
    filters << caption;
  } else if (!patterns.isEmpty()) {
    filters << (caption.isEmpty() ? patterns : caption) + QStringLiteral(" (") + patterns + u')';
  }
  filters << QStringLiteral("All files (*)");
  return filters;
}

QtUiPort::QtUiPort(QObject* parent) : QObject(parent) {}

void QtUiPort::stopAsking() {
  stopping_ = true;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
      dialog->reject();
    else if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->isVisible())
      menu->close();
  }
}

QtUiPort::~QtUiPort() { stopAllTimers(); }

void QtUiPort::beginOperation() {
  if (depth_++ == 0) operationClock_.start();
}

void QtUiPort::endOperation() {
  if (depth_ > 0) --depth_;
  if (depth_ == 0) {
    lastOperationMs_ = operationClock_.isValid() ? operationClock_.elapsed() : 0;
    runDeferredTimers();
    if (depth_ == 0) emit operationsFinished();
  }
}

qelta::MessageAnswer QtUiPort::MessageBox(const std::string& text, const std::string& caption,
                                          qelta::MessageButtons buttons, qelta::MessageIcon icon) {
  if (stopping_) {
    return buttons == qelta::MessageButtons::Ok ? qelta::MessageAnswer::Ok
                                                : qelta::MessageAnswer::Cancel;
  }
  QMessageBox box(window_);
  box.setWindowTitle(qs(caption));
  box.setText(qs(text));
  box.setTextFormat(Qt::PlainText);
  switch (icon) {
    case qelta::MessageIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case qelta::MessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case qelta::MessageIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case qelta::MessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case qelta::MessageIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  if (buttons == qelta::MessageButtons::OkCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
  }
  box.setDefaultButton(QMessageBox::Ok);
  const int answer = box.exec();
  if (buttons == qelta::MessageButtons::Ok) return qelta::MessageAnswer::Ok;
  return answer == QMessageBox::Ok ? qelta::MessageAnswer::Ok : qelta::MessageAnswer::Cancel;
}

bool QtUiPort::RunDialog(qelta::DialogModel& dialog) {
  return !stopping_ && ModelDialog::run(dialog, window_);
}

std::optional<std::string> QtUiPort::FileDialog(const qelta::FileDialogRequest& request) {
  if (stopping_) return std::nullopt;
  QFileDialog dialog(window_, qs(request.title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (request.save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  dialog.setNameFilters(fileDialogFilters(request));
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(qs(request.defaultExt));
  if (!request.initialDir.empty()) dialog.setDirectory(qs(request.initialDir));
  if (!request.initialName.empty() && !hasWildcard(request.initialName))
    dialog.selectFile(qs(request.initialName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.first().toStdString();
}

void QtUiPort::Beep() { QApplication::beep(); }

int QtUiPort::StartProcess(const qelta::ProcessRequest& request) {
  return qelta::SpawnDetached(request);
}

void QtUiPort::StartTimer(int id, int ms, std::function<void()> onFire) {
  Timer& t = timers_[id];
  if (!t.timer) {
    t.timer = new QTimer(this);
    connect(t.timer, &QTimer::timeout, this, [this, id] { timerFired(id); });
  }
  t.onFire = std::move(onFire);
  deferred_.erase(id);
  t.timer->start(ms);
}

void QtUiPort::StopTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  // The QTimer stays (its handler may be the caller); it is only stopped.
  it->second.timer->stop();
  deferred_.erase(id);
}

bool QtUiPort::timerArmed(int id) const {
  auto it = timers_.find(id);
  return (it != timers_.end() && it->second.timer->isActive()) || deferred_.count(id) != 0;
}

void QtUiPort::stopAllTimers() {
  for (auto& [id, t] : timers_) {
    t.timer->stop();
    t.onFire = nullptr;
  }
  deferred_.clear();
}

void QtUiPort::timerFired(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (busy()) {
    // Held until the running operation ends; a periodic timer does not pile up meanwhile.
    it->second.timer->stop();
    deferred_.insert(id);
    return;
  }
  std::function<void()> handler = it->second.onFire;  // the handler may replace itself
  if (!handler) return;
  beginOperation();
  handler();
  endOperation();
}

void QtUiPort::runDeferredTimers() {
  while (!deferred_.empty() && depth_ == 0) {
    const int id = *deferred_.begin();
    deferred_.erase(deferred_.begin());
    auto it = timers_.find(id);
    if (it == timers_.end() || !it->second.onFire) continue;
    // A periodic timer resumes its rhythm; a one-shot handler stops it itself.
    it->second.timer->start();
    std::function<void()> handler = it->second.onFire;
    ++depth_;
    handler();
    --depth_;
  }
}

int QtUiPort::PopupMenu(const qelta::MenuModel& menu, int x, int y) {
  if (menu.Empty() || stopping_) return 0;
  QMenu popup(window_);
  for (const auto& item : menu.items) {
    if (item.IsSeparator()) {
      popup.addSeparator();
      continue;
    }
    QAction* action = popup.addAction(qs(item.text));
    action->setData(item.command);
    action->setEnabled(item.enabled);
    if (item.checked) {
      action->setCheckable(true);
      action->setChecked(true);
    }
  }
  QAction* chosen = popup.exec(QPoint(x, y));
  return chosen ? chosen->data().toInt() : 0;
}

void QtUiPort::KeepPainting() {
  // Paint, timers and queued updates run; mouse and keys wait until the operation is over.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUiPort::PostToFormThread(std::function<void()> task) {
  if (!task) return;
  // Queued to this object's thread; runs there in event order (also while an operation keeps the
  // window painting, which is how a status label changes during a long operation).
  QMetaObject::invokeMethod(
      this,
      [this, task = std::move(task)] {
        if (acceptPosted_) task();
      },
      Qt::QueuedConnection);
}

}  // namespace qelta::gui

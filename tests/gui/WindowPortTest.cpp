// The Qt side of the UI port and the pieces of the window that carry work between threads: dialogs
// built from the dialog model with the core's validation, timers held back while an operation
// runs, tasks posted from other threads, the link's face, the single-instance lock.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "GuiTestSupport.h"
#include "gui/LinkFaceWidget.h"
#include "gui/ModelDialog.h"
#include "gui/QtUiPort.h"
#include "gui/SingleInstance.h"
#include "halvex/ControlFace.h"

namespace qelta::gui::test {
namespace {

using qelta::DialogField;
using qelta::DialogModel;
using qelta::FieldKind;

DialogField field(int id, const char* name, const char* label, FieldKind kind, const char* value) {
  DialogField f;
  f.controlId = id;
  f.name = name;
  f.label = label;
  f.kind = kind;
  f.value = value;
  return f;
}

DialogModel channelDialog() {
  DialogModel d;
  d.name = "CBSChannelDlg";
  d.title = "Set channel";
  d.Add(field(0, "caption", "", FieldKind::Label, "Channel setting"));
  d.Add(field(1036, "channel", "", FieldKind::Number, "4"));
  d.validate = [](DialogModel& m) { return qelta::ValidateIntegerField(m, 1036, 1, 7); };
  return d;
}

QLineEdit* edit(ModelDialog& dialog, std::size_t index) {
  return qobject_cast<QLineEdit*>(dialog.fieldWidget(index));
}

void typeInto(QLineEdit* field, const QString& value) {
  field->setText(value);
  emit field->textEdited(value);
}

TEST_F(GuiTest, DialogRefusesWhatTheCoreRefusesAndCancelKeepsTheOldValues) {
  DialogModel model = channelDialog();
  QStringList warnings;
  ModalAnswerer boxes([&](QWidget* widget) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (!box) return false;
    warnings << box->windowTitle() + u'|' + box->text() +
                    (box->icon() == QMessageBox::Critical ? QStringLiteral("|error") : QString());
    box->accept();
    return true;
  });

  {
    ModelDialog dialog(model, nullptr);
    dialog.show();
    typeInto(edit(dialog, 1), QStringLiteral("8"));
    dialog.okButton()->click();  // refused: the prompt, and the dialog stays open
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(warnings,
              QStringList{QStringLiteral("Set channel|Please enter an integer between 1 and 7.")});
    typeInto(edit(dialog, 1), QStringLiteral("3"));
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(model.Value(1036), "3");

  {
    ModelDialog dialog(model, nullptr);
    dialog.show();
    typeInto(edit(dialog, 1), QStringLiteral("6"));
    dialog.cancelButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EXPECT_EQ(model.Value(1036), "3");
  EXPECT_EQ(warnings.size(), 1);

  // A refusal that names its own caption and calls itself an error.
  model.validationCaption = "Error";
  model.validationErrorIcon = true;
  ModelDialog dialog(model, nullptr);
  dialog.show();
  typeInto(edit(dialog, 1), QStringLiteral("0"));
  dialog.okButton()->click();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(warnings.last(),
            QStringLiteral("Error|Please enter an integer between 1 and 7.|error"));
}

TEST_F(GuiTest, DialogButtonsAndEditsLetTheCoreChangeOtherFields) {
  DialogModel model;
  model.name = "CIPSettingsDlg";
  model.title = "IP settings";
  model.Add(field(1046, "dhcp", "Use DHCP", FieldKind::Radio, "1"));
  model.Add(field(1047, "fixed", "Use these IP settings", FieldKind::Radio, "0"));
  model.Add(field(1035, "ip", "IP address", FieldKind::IpAddress, "0.0.0.0"));
  model.Add(field(1036, "file", "", FieldKind::Text, ""));
  DialogField browse = field(1056, "browse", "Browse", FieldKind::Button, "");
  browse.onClick = [](DialogModel& m) { m.SetValue(1036, "defaults.pcg"); };
  model.Add(browse);
  model.onEdit = [](DialogModel& m, int id) {
    if (id == 1035) {
      m.SetValue(1046, "0");
      m.SetValue(1047, "1");
    }
  };

  ModelDialog dialog(model, nullptr);
  dialog.show();
  typeInto(edit(dialog, 2), QStringLiteral("10.0.0.9"));
  EXPECT_TRUE(qobject_cast<QRadioButton*>(dialog.fieldWidget(1))->isChecked());
  EXPECT_FALSE(qobject_cast<QRadioButton*>(dialog.fieldWidget(0))->isChecked());
  qobject_cast<QPushButton*>(dialog.fieldWidget(4))->click();
  EXPECT_EQ(edit(dialog, 3)->text(), QStringLiteral("defaults.pcg"));
  dialog.okButton()->click();
  EXPECT_EQ(model.Value(1035), "10.0.0.9");
  EXPECT_EQ(model.Value(1047), "1");
  EXPECT_EQ(model.Value(1046), "0");
  EXPECT_EQ(model.Value(1036), "defaults.pcg");
}

TEST_F(GuiTest, TimersWaitForTheRunningOperationAndCommandsDoNotNest) {
  auto w = makeWindow();
  QtUiPort& port = w->port();
  int fired = 0;
  bool nestedRan = false;
  bool nestedAccepted = true;
  w->form().SetCommandHandler(40001, [&] { nestedRan = true; });
  w->form().SetCommandHandler(40000, [&] {
    port.StartTimer(77, 1, [&] {
      ++fired;
      port.StopTimer(77);
    });
    // A long operation that keeps painting: the timer comes due but must wait.
    waitUntil([] { return false; }, 60);
    for (int i = 0; i < 20; ++i) port.KeepPainting();
    EXPECT_EQ(fired, 0);
    nestedAccepted = w->runCommand(40001);
  });
  ASSERT_TRUE(w->runCommand(40000));
  EXPECT_FALSE(nestedAccepted);
  EXPECT_FALSE(nestedRan);
  EXPECT_EQ(fired, 1);  // once, right after the operation
  waitUntil([] { return false; }, 30);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(port.timerArmed(77));
}

void postClick(QWidget* target) {
  const QPointF at(target->width() / 2.0, target->height() / 2.0);
  const QPointF global = target->mapToGlobal(at);
  QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, global,
                                                      Qt::LeftButton, Qt::LeftButton, {}));
  QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                      Qt::LeftButton, Qt::NoButton, {}));
}

TEST_F(GuiTest, WindowTakesNoInputWhileAnOperationRunsNorRunsItLate) {
  auto w = makeWindow();
  w->show();
  auto* field = w->findChild<QLineEdit*>(QStringLiteral("edit1026"));
  auto* reset = w->findChild<QPushButton*>(QStringLiteral("btn1053"));
  int resets = 0;
  w->form().SetCommandHandler(ids::kResetBaseStationsButton, [&] { ++resets; });
  w->form().SetCommandHandler(40003, [&] {
    QTest::keyClicks(field, QStringLiteral("55"));
    QTest::mouseClick(reset, Qt::LeftButton);
    postClick(reset);  // comes in while the window keeps painting
    for (int i = 0; i < 5; ++i) w->port().KeepPainting();
    // Comes in while the device talks and nothing is processed.
    postClick(reset);
    std::this_thread::sleep_for(std::chrono::milliseconds(MainWindow::kDiscardInputAfterMs + 50));
  });
  ASSERT_TRUE(w->runCommand(40003));
  waitUntil([] { return false; }, 50);
  EXPECT_EQ(field->text(), QStringLiteral("10000"));
  EXPECT_EQ(resets, 0);

  // Afterwards the window works as before.
  QTest::mouseClick(reset, Qt::LeftButton);
  EXPECT_EQ(resets, 1);
  QTest::keyClicks(field, QStringLiteral("7"));
  EXPECT_EQ(field->text(), QStringLiteral("100007"));
}

TEST_F(GuiTest, StopCancelsTheOpenDialogAndAnswersLaterQuestionsCautiously) {
  auto w = makeWindow();
  QtUiPort& port = w->port();
  DialogModel model = channelDialog();
  QTimer::singleShot(50, [] { QtUiPort::stopAsking(); });
  EXPECT_FALSE(port.RunDialog(model));  // open when the stop came
  EXPECT_EQ(model.Value(1036), "4");
  EXPECT_EQ(port.MessageBox("Continue?", "Verify", MessageButtons::OkCancel, MessageIcon::Question),
            MessageAnswer::Cancel);
  EXPECT_EQ(port.MessageBox("Done", "Info", MessageButtons::Ok, MessageIcon::Information),
            MessageAnswer::Ok);
  EXPECT_FALSE(port.FileDialog(FileDialogRequest{}).has_value());
  EXPECT_FALSE(port.RunDialog(model));
  QtUiPort::resumeAsking();
}

TEST_F(GuiTest, ContextMenuOpensAtThePointAndAnswersTheChosenCommand) {
  auto w = makeWindow();
  MenuModel menu;
  menu.AddItem(ids::kCmdChannel, "Channel");
  menu.AddSeparator();
  menu.AddItem(ids::kCmdWeb, "Web");
  menu.items.push_back({ids::kCmdIpRecovery, "IP recovery", false, false});

  QStringList shown;
  QPoint openedAt;
  ModalAnswerer choose([&](QWidget* widget) {
    auto* popup = qobject_cast<QMenu*>(widget);
    if (!popup) return false;
    openedAt = popup->pos();
    for (QAction* a : popup->actions())
      shown << (a->isSeparator() ? QStringLiteral("-")
                                 : a->text() + (a->isEnabled() ? "" : "(off)"));
    QAction* web = popup->actions().at(2);
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(web).center());
    return true;
  });
  EXPECT_EQ(w->port().PopupMenu(menu, 40, 50), ids::kCmdWeb);
  EXPECT_EQ(shown, (QStringList{"Channel", "-", "Web", "IP recovery(off)"}));
  EXPECT_EQ(openedAt, QPoint(40, 50));
}

TEST_F(GuiTest, DismissedOrEmptyContextMenuChoosesNothing) {
  auto w = makeWindow();
  MenuModel menu;
  menu.AddItem(ids::kCmdChannel, "Channel");
  ModalAnswerer dismiss([](QWidget* widget) {
    auto* popup = qobject_cast<QMenu*>(widget);
    if (popup) popup->close();
    return popup != nullptr;
  });
  EXPECT_EQ(w->port().PopupMenu(menu, 10, 10), 0);
  EXPECT_EQ(dismiss.answered(), 1);
  EXPECT_EQ(w->port().PopupMenu(MenuModel{}, 10, 10), 0);
  EXPECT_EQ(dismiss.answered(), 1);
}

TEST_F(GuiTest, ClosingDuringAnOperationWaitsForItsEnd) {
  auto w = makeWindow();
  w->show();
  bool stillVisibleAfterClose = false;
  w->form().SetCommandHandler(40002, [&] {
    w->close();
    stillVisibleAfterClose = w->isVisible();
  });
  ASSERT_TRUE(w->runCommand(40002));
  EXPECT_TRUE(stillVisibleAfterClose);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(GuiTest, TasksPostedFromAnotherThreadRunOnTheFormThreadInOrder) {
  auto w = makeWindow(false);
  QtUiPort& port = w->port();
  std::vector<int> order;  // touched on the GUI thread only
  const auto gui = std::this_thread::get_id();
  std::atomic<bool> offThread{false};
  std::thread poster([&] {
    for (int i = 0; i < 500; ++i) {
      port.PostToFormThread([&, i] {
        if (std::this_thread::get_id() != gui) offThread = true;
        order.push_back(i);
      });
    }
    port.PostToFormThread(
        [&] { w->form().controls().SetText(ids::kDiscoveryStatusLabel, "Base stations: 3"); });
  });
  poster.join();
  ASSERT_TRUE(waitUntil([&] { return order.size() == 500; }));
  EXPECT_FALSE(offThread);
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  EXPECT_TRUE(waitUntil([&] {
    return w->findChild<QLabel*>(QStringLiteral("lbl1038"))->text() ==
           QStringLiteral("Base stations: 3");
  }));

  // Once the form is going away nothing posted runs any more.
  bool ran = false;
  port.PostToFormThread([&] { ran = true; });
  port.discardPostedTasks();
  waitUntil([] { return false; }, 30);
  EXPECT_FALSE(ran);
}

TEST_F(GuiTest, LinkFaceDrawsLampsProgressAndBerIndicatorFromAnyThread) {
  halvex::ControlFace face;
  auto widget = std::make_unique<LinkFaceWidget>(face);
  widget->resize(270, 75);
  std::thread worker([&] {
    face.SetStatusText("COM1 19200");
    face.SetRxLamp(halvex::LampState::kBright);
    face.SetTxLamp(halvex::LampState::kBright);
    face.DrawProgress(1, 31, "Reading", halvex::kBlack, halvex::kMagenta);
    face.SetBerWaiting(true);
  });
  worker.join();
  ASSERT_TRUE(waitUntil([&] { return widget->repaintRequests() > 0; }));
  const QImage image = widget->grab().toImage();
  auto colour = [&](int x, int y) { return image.pixelColor(x, y).rgb() & 0xFFFFFF; };
  EXPECT_EQ(colour(81, 16), 0x00FF00u);   // RX lamp, bright
  EXPECT_EQ(colour(101, 16), 0xFF0000u);  // TX lamp
  EXPECT_EQ(colour(48, 44), 0xFF00FFu);   // the progress text's own background
  EXPECT_EQ(colour(141, 3), 0xFF0000u);   // "Waiting BER data..."
  EXPECT_EQ(colour(200, 60), 0xC0C0C0u);  // the face itself

  face.SetRxLamp(halvex::LampState::kDim);
  face.ClearProgress();
  ASSERT_TRUE(waitUntil([&] {
    const QImage now = widget->grab().toImage();
    return (now.pixelColor(81, 16).rgb() & 0xFFFFFF) == 0x008000u &&
           (now.pixelColor(48, 44).rgb() & 0xFFFFFF) == 0xC0C0C0u;
  }));

  // The widget goes first; later changes of the model reach nothing.
  widget.reset();
  std::thread late([&] { face.SetStatusText("closed"); });
  late.join();
  waitUntil([] { return false; }, 20);
}

TEST_F(GuiTest, SecondStartWaitsForTheFirstToAnswerWithinItsBound) {
  // The first copy holds the lock before it listens, and answers only when its event loop runs,
  // which a slow start-up holds off for longer than a moment.
  struct Case {
    const char* name;
    int listenAfterMs;  // from the second's first try
    int answerAfterMs;  // then; -1: never (its event loop does not run)
    int boundMs;
    SingleInstance::HandOver outcome;
  };
  const Case cases[] = {
      {"answers after a slow start", 0, 2500, SingleInstance::kAnswerWaitMs,
       SingleInstance::HandOver::kAnswered},
      {"listens after the second asked", 300, 0, SingleInstance::kAnswerWaitMs,
       SingleInstance::HandOver::kAnswered},
      {"never answers", 0, -1, 300, SingleInstance::HandOver::kNoAnswer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString folder = path(QString::fromUtf8(c.name).replace(' ', '-'));
    SingleInstance first(folder);
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
    SingleInstance second(folder);
    ASSERT_EQ(first.acquire(), SingleInstance::Outcome::kFirst);
    EXPECT_EQ(second.acquire(), SingleInstance::Outcome::kRunning);
    // Not listening yet: the lock is held, but there is no socket to ask at.
    const QString hidden = first.socketPath() + QStringLiteral(".not-yet");
    if (c.listenAfterMs > 0) {
      ASSERT_TRUE(QFile::rename(first.socketPath(), hidden));
    }
    std::atomic<int> outcome{-1};
    std::thread asker([&] { outcome = static_cast<int>(second.handOver(c.boundMs)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(c.listenAfterMs));
    if (c.listenAfterMs > 0) {
      EXPECT_TRUE(QFile::rename(hidden, first.socketPath()));
    }
    if (c.answerAfterMs >= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.answerAfterMs));
      waitUntil([&] { return outcome.load() != -1; }, SingleInstance::kAnswerWaitMs * 2);
    }
    asker.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(c.outcome));
    EXPECT_EQ(activations, c.outcome == SingleInstance::HandOver::kAnswered ? 1 : 0);
  }
}

TEST_F(GuiTest, SecondStartTakesOverFromACopyThatEnds) {
  // A copy that is closing holds its lock while its window goes (seconds on a busy machine) and
  // runs no event loop any more: whatever it does with the question, the second start becomes
  // the running copy once the lock is free, instead of reporting a copy that does not answer.
  struct Case {
    const char* name;
    bool listens;        // its socket is there to ask at
    bool readsQuestion;  // it takes the connection and reads the question before it goes
  };
  const Case cases[] = {
      {"ends before it listens", false, false},
      {"closes with the question waiting", true, false},
      {"drops the question it has read", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString folder = path(QString::fromUtf8(c.name).replace(' ', '-'));
    ASSERT_TRUE(QDir().mkpath(folder));
    SingleInstance second(folder);
    std::atomic<bool> held{false};
    std::atomic<bool> asked{false};
    // The closing copy, on a thread of its own: its lock and socket, and no event loop.
    std::thread closing([&] {
      QLockFile lock(second.lockPath());
      if (!lock.tryLock(0)) return;
      QLocalServer server;
      if (c.listens && !server.listen(second.socketPath())) return;
      held = true;
      if (c.listens) {
        asked = server.waitForNewConnection(SingleInstance::kAnswerWaitMs);
        QLocalSocket* question = server.nextPendingConnection();
        if (question && c.readsQuestion) {
          while (question->bytesAvailable() == 0 && question->waitForReadyRead(10000)) {
          }
          question->readAll();
        }
        delete question;
        server.close();
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
      }
    });
    ASSERT_TRUE(waitUntil([&] { return held.load(); }, 10000));
    ASSERT_EQ(second.acquire(), SingleInstance::Outcome::kRunning);
    EXPECT_EQ(second.handOver(), SingleInstance::HandOver::kTakenOver);
    closing.join();
    EXPECT_EQ(asked.load(), c.listens);

    // The second is the running copy now: the next start is answered by it.
    int activations = 0;
    QObject::connect(&second, &SingleInstance::activationRequested, [&] { ++activations; });
    SingleInstance third(folder);
    ASSERT_EQ(third.acquire(), SingleInstance::Outcome::kRunning);
    std::atomic<int> outcome{-1};
    std::thread asker([&] { outcome = static_cast<int>(third.handOver()); });
    waitUntil([&] { return outcome.load() != -1; }, SingleInstance::kAnswerWaitMs * 2);
    asker.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(SingleInstance::HandOver::kAnswered));
    EXPECT_EQ(activations, 1);
  }
}

TEST_F(GuiTest, StrangersJunkOnTheSocketRaisesNothing) {
  SingleInstance first(path(QStringLiteral("instance")));
  ASSERT_EQ(first.acquire(), SingleInstance::Outcome::kFirst);
  int activations = 0;
  QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
  std::atomic<bool> done{false};
  std::atomic<bool> dropped{false};
  std::thread stranger([&] {
    QLocalSocket socket;
    socket.connectToServer(first.socketPath());
    if (socket.waitForConnected(10000)) {
      socket.write(QByteArray(300, 'x'));
      socket.waitForBytesWritten(10000);
      dropped = socket.waitForDisconnected(20000);
    }
    done = true;
  });
  waitUntil([&] { return done.load(); }, 40000);
  stranger.join();
  EXPECT_TRUE(dropped.load()) << "the first copy kept a line longer than it reads";
  EXPECT_EQ(activations, 0);
}

TEST_F(GuiTest, LockIsFreeAgainWhenTheFirstCopyEnds) {
  const QString folder = path(QStringLiteral("instance"));
  {
    SingleInstance first(folder);
    ASSERT_EQ(first.acquire(), SingleInstance::Outcome::kFirst);
  }
  SingleInstance next(folder);
  EXPECT_EQ(next.acquire(), SingleInstance::Outcome::kFirst);
}

TEST(FileDialogFilters, WildcardNamesBecomeTheFirstFilter) {
  FileDialogRequest pcg;
  pcg.initialName = "*.pcg";
  pcg.filter = "QeltaC Files (*.pcg)";
  EXPECT_EQ(fileDialogFilters(pcg), (QStringList{"QeltaC Files (*.pcg)", "All files (*)"}));

  FileDialogRequest other = pcg;
  other.initialName = "*.txt";
  EXPECT_EQ(fileDialogFilters(other),
            (QStringList{"*.txt (*.txt)", "QeltaC Files (*.pcg)", "All files (*)"}));

  FileDialogRequest firmware;
  firmware.initialName = "hsbt*.a20;bsbt*.a20";
  firmware.filter = "Qelta Firmware";
  EXPECT_EQ(fileDialogFilters(firmware),
            (QStringList{"Qelta Firmware (hsbt*.a20 bsbt*.a20)", "All files (*)"}));

  FileDialogRequest plain;
  plain.initialName = "report.pcg";
  EXPECT_EQ(fileDialogFilters(plain), QStringList{"All files (*)"});
}

}  // namespace
}  // namespace qelta::gui::test

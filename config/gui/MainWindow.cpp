#include "gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTreeView>
#include <algorithm>

#include "gui/FleetProgressPanel.h"
#include "gui/FormLayout.h"
#include "gui/LinkFaceWidget.h"
#include "gui/ListIcons.h"
#include "gui/LoadProgressBar.h"
#include "gui/OutputListModel.h"
#include "gui/QtUiPort.h"

namespace qelta::gui {
namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The dialog base units of a font: the average width of the letters (rounded as the dialog
// manager does) and the line height; never smaller than those of the original 8-point font.
QSize dialogBaseUnits(const QFont& font) {
  const QFontMetrics fm(font);
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int width = (fm.horizontalAdvance(letters) / 26 + 1) / 2;
  return QSize(std::max(width, 6), std::max(fm.height(), 13));
}

QString menuObjectName(const std::string& title) {
  QString name = qs(title);
  name.remove(u'&');
  name.remove(u' ');
  return QStringLiteral("menu") + name;
}

}  // namespace

template <typename F>
void MainWindow::asOperation(F&& f) {
  port_->beginOperation();
  f();
  port_->endOperation();
}

MainWindow::MainWindow(FormEnvironment env, QWidget* parent)
    : QMainWindow(parent), port_(std::make_unique<QtUiPort>()) {
  setObjectName(QStringLiteral("mainWindow"));
  // A sizing border and a minimise box, but no maximise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(QIcon::fromTheme(QStringLiteral("qeltaconfig"), listIcon(4)));
  port_->setWindow(this);
  connect(port_.get(), &QtUiPort::operationsFinished, this, &MainWindow::operationsFinished);

  form_ = CreateMainForm(*port_, std::move(env));

  buildForm();
  buildMenus();
  controlListener_ = form_->controls().AddListener([this](int id) { syncControl(id); });
  syncAll();
  setAcceptDrops(true);
  // Input to this window is refused while an operation runs (see eventFilter).
  qApp->installEventFilter(this);

  asOperation([this] { form_->InitialiseForm(); });
  // The window fits around the form.
  resize(formSize_.width(), formSize_.height() + menuBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
  qApp->removeEventFilter(this);
  // Nothing of the window may reach the form once it is gone: posted tasks and timers are
  // dropped, and the widgets that listen to the form's models go first.
  port_->discardPostedTasks();
  port_->stopAllTimers();
  port_->setWindow(nullptr);
  form_->controls().RemoveListener(controlListener_);
  delete listView_;
  listView_ = nullptr;
  delete listModel_;
  listModel_ = nullptr;
  qelta::fleet::SetMonitor(form_->fleet, nullptr);
  delete fleetProgress_;
  fleetProgress_ = nullptr;
  delete loadProgress_;
  loadProgress_ = nullptr;
  delete face_;
  face_ = nullptr;
  controls_.clear();
  form_.reset();
}

void MainWindow::buildForm() {
  formWidget_ = new QWidget(this);
  formWidget_->setObjectName(QStringLiteral("form"));
  setCentralWidget(formWidget_);
  const QSize base = dialogBaseUnits(font());
  formSize_ =
      dluToPixels(QRect(0, 0, kFormWidthDlu, kFormHeightDlu), base.width(), base.height()).size();
  formWidget_->setMinimumSize(formSize_);

  for (const FormControl& c : formControls()) {
    const QString text = QString::fromUtf8(c.text);
    QWidget* widget = nullptr;
    switch (c.kind) {
      case ControlKind::Group:
        widget = new QGroupBox(text, formWidget_);
        break;
      case ControlKind::Label: {
        auto* label = new QLabel(text, formWidget_);
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
      }
      case ControlKind::Button:
      case ControlKind::DefaultButton: {
        auto* button = new QPushButton(text, formWidget_);
        button->setAutoDefault(false);
        button->setDefault(c.kind == ControlKind::DefaultButton);
        const int id = c.id;
        connect(button, &QPushButton::clicked, this, [this, id] { runCommand(id); });
        widget = button;
        break;
      }
      case ControlKind::RadioButton: {
        auto* radio = new QRadioButton(text, formWidget_);
        const int id = c.id;
        connect(radio, &QRadioButton::clicked, this, [this, id] { runCommand(id); });
        widget = radio;
        break;
      }
      case ControlKind::DigitsEdit: {
        auto* edit = new QLineEdit(formWidget_);
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        const int id = c.id;
        connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& value) {
          if (port_->busy()) return;
          asOperation([&] { form_->OnControlEdited(id, value.toStdString()); });
        });
        widget = edit;
        break;
      }
      case ControlKind::LinkFace:
        face_ = new LinkFaceWidget(form_->link().Face(), formWidget_);
        widget = face_;
        break;
      case ControlKind::List: {
        listModel_ = new OutputListModel(form_->outputList(), this);
        listView_ = new QTreeView(formWidget_);
        listView_->setModel(listModel_);
        listView_->setRootIsDecorated(false);
        listView_->setItemsExpandable(false);
        listView_->setUniformRowHeights(true);
        listView_->setAllColumnsShowFocus(true);
        listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
        listView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        listView_->setIconSize(QSize(16, 16));
        listView_->setContextMenuPolicy(Qt::CustomContextMenu);
        listView_->header()->setStretchLastSection(false);
        listView_->header()->setSectionsMovable(false);
        for (int i = 0; i < OutputList::kColumns; ++i)
          listView_->header()->resizeSection(i, OutputList::kColumnWidths[i]);
        connect(listModel_, &OutputListModel::rowAppended, this,
                [this](int row) { listView_->scrollTo(listModel_->index(row, 0)); });
        connect(listModel_, &OutputListModel::selectionChangedByForm, this,
                &MainWindow::followFormSelection);
        connect(listView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &MainWindow::listSelectionChanged);
        connect(listView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                &MainWindow::listSelectionChanged);
        connect(listView_, &QTreeView::clicked, this, [this] {
          if (port_->busy()) return;
          asOperation([this] { form_->OnListClick(); });
        });
        connect(listView_, &QTreeView::customContextMenuRequested, this, [this](const QPoint& at) {
          if (port_->busy()) return;
          const QPoint global = listView_->viewport()->mapToGlobal(at);
          asOperation([&] { form_->OnListRightClick(global.x(), global.y()); });
        });
        widget = listView_;
        break;
      }
    }
    widget->setObjectName(controlObjectName(c));
    const QRect place = dluToPixels(c.dlu, base.width(), base.height());
    widget->setGeometry(place);
    if (c.id != 0) {
      controls_[c.id] = widget;
      placesPx_[c.id] = place;
    }
  }
  // The firmware load's progress, in the gap between the face and the output list.
  const QRect facePlace = placesPx_[ids::kLinkControl];
  const int gapBottom = placesPx_[ids::kOutputList].top() - 1;
  loadProgress_ = new LoadProgressBar(
      form_->link().Face(), [this] { port_->KeepPainting(); }, formWidget_);
  loadProgress_->setObjectName(QStringLiteral("loadProgress"));
  loadProgress_->setGeometry(facePlace.left(), facePlace.bottom() + 1, facePlace.width(),
                             std::max(4, gapBottom - facePlace.bottom() - 1));
  // The progress of runs over many stations, under the list between its two buttons.
  fleetProgress_ = new FleetProgressPanel(formWidget_);
  qelta::fleet::SetMonitor(form_->fleet, fleetProgress_);
  formWidget_->installEventFilter(this);
}

void MainWindow::buildMenus() {
  for (const auto& [title, menu] : CQeltaConfigView::MainMenu()) {
    QMenu* popup = menuBar()->addMenu(qs(title));
    popup->setObjectName(menuObjectName(title));
    for (const MenuItem& item : menu.items) {
      if (item.IsSeparator()) {
        popup->addSeparator();
        continue;
      }
      QAction* action = popup->addAction(qs(item.text));
      action->setObjectName(QStringLiteral("action") + QString::number(item.command));
      if (item.command >= ids::kCmdCom1 && item.command <= ids::kCmdCom8)
        action->setCheckable(true);
      const int command = item.command;
      connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
      actions_[command] = action;
    }
  }
}

QWidget* MainWindow::control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

QAction* MainWindow::commandAction(int command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::syncControl(int id) {
  const ControlModel& model = form_->controls();
  if (id == ids::kWindow) {
    setWindowTitle(qs(model.Text(ids::kWindow)));
    return;
  }
  if (QAction* action = commandAction(id)) {
    // Menu items follow only the enabled state and the check mark; their texts are the menu's.
    action->setEnabled(model.Enabled(id));
    if (action->isCheckable()) action->setChecked(model.Checked(id));
  }
  QWidget* widget = control(id);
  if (!widget || !model.Has(id)) return;
  const ControlState& state = model.Get(id);
  if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(qs(state.text));
  } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
    radio->setText(qs(state.text));
    // Radio buttons of the form are not exclusive by themselves: the form decides.
    radio->setAutoExclusive(false);
    radio->setChecked(state.checked);
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(qs(state.text));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(qs(state.text));
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != qs(state.text)) edit->setText(qs(state.text));
    edit->setReadOnly(state.readOnly);
  }
  widget->setEnabled(state.enabled);
  widget->setVisible(state.visible);
}

void MainWindow::syncAll() {
  syncControl(ids::kWindow);
  for (int id : form_->controls().Ids()) syncControl(id);
  for (const auto& [command, action] : actions_) syncControl(command);
}

bool MainWindow::runCommand(int id) {
  if (port_->busy() || !form_->HasCommandHandler(id)) {
    // Qt toggled a check mark or radio button on its own: show the form's state again.
    syncControl(id);
    return false;
  }
  asOperation([&] { form_->RunCommand(id); });
  // Whatever Qt changed by itself on the click (a radio button, a menu check mark) goes back to
  // the form's state.
  syncControl(id);
  for (int radio : {ids::kRadioType1, ids::kRadioType2, ids::kRadioType3}) syncControl(radio);
  for (int com = ids::kCmdCom1; com <= ids::kCmdCom8; ++com) syncControl(com);
  return true;
}

void MainWindow::openDocument(const QString& path) {
  if (path.isEmpty() || port_->busy()) return;
  const QString full = QFileInfo(path).absoluteFilePath();
  asOperation([&] { form_->OpenDocument(full.toStdString()); });
}

void MainWindow::bringForward() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  // The last active pop-up (an open dialog or message box) comes forward with the window.
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
    modal->raise();
    modal->activateWindow();
  }
}

void MainWindow::listSelectionChanged() {
  if (syncingSelection_ || !listView_) return;
  syncingSelection_ = true;
  OutputList& list = form_->outputList();
  QItemSelectionModel* selection = listView_->selectionModel();
  const int rows = std::min(list.RowCount(), listModel_->rowCount());
  for (int row = 0; row < rows; ++row) {
    const bool selected = selection->isRowSelected(row, {});
    if (list.Row(row).selected != selected) list.SetSelected(row, selected);
  }
  const QModelIndex current = selection->currentIndex();
  if (current.isValid() && current.row() < rows) list.SetSelectionMark(current.row());
  syncingSelection_ = false;
}

void MainWindow::followFormSelection(int row) {
  if (syncingSelection_ || !listView_) return;
  syncingSelection_ = true;
  const OutputList& list = form_->outputList();
  QItemSelectionModel* selection = listView_->selectionModel();
  const int rows = std::min(list.RowCount(), listModel_->rowCount());
  auto follow = [&](int r) {
    const bool want = list.Row(r).selected;
    if (selection->isRowSelected(r, {}) == want) return;
    selection->select(listModel_->index(r, 0),
                      (want ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                          QItemSelectionModel::Rows);
  };
  if (row >= 0 && row < rows) {
    follow(row);
  } else {
    for (int r = 0; r < rows; ++r) follow(r);
  }
  syncingSelection_ = false;
}

void MainWindow::operationsFinished() {
  if (port_->lastOperationMs() >= kDiscardInputAfterMs && !drainingInput_) {
    // Clicks and keys given to the window while it was busy are dropped, not run late.
    drainingInput_ = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    drainingInput_ = false;
  }
  if (form_ && (form_->closeRequested() || closePending_)) {
    closePending_ = false;
    close();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (port_->busy()) {
    // Not in the middle of a device conversation: the window closes once it has ended.
    closePending_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!port_->busy() && data->hasUrls() && !data->urls().isEmpty() &&
      data->urls().first().isLocalFile())
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QMimeData* data = event->mimeData();
  if (!data->hasUrls() || data->urls().isEmpty() || !data->urls().first().isLocalFile()) return;
  openDocument(data->urls().first().toLocalFile());
  event->acceptProposedAction();
}

namespace {

bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if ((port_->busy() || drainingInput_) && isUserInput(event->type()) && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this &&
      !(fleetProgress_ && port_->busy() && fleetProgress_->takesInput(watched))) {
    // Dialogs and menus opened by the running operation are windows of their own and still work.
    return true;
  }
  if (watched == formWidget_ && event->type() == QEvent::Resize)
    layoutForSize(static_cast<QResizeEvent*>(event)->size());
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::layoutForSize(const QSize& size) {
  // The form keeps its layout; a larger window gives the output list the room, and the two buttons
  // under it stay at the bottom corners.
  const int dx = std::max(0, size.width() - formSize_.width());
  const int dy = std::max(0, size.height() - formSize_.height());
  if (QWidget* list = control(ids::kOutputList))
    list->setGeometry(placesPx_[ids::kOutputList].adjusted(0, 0, dx, dy));
  if (QWidget* clear = control(ids::kClearListButton))
    clear->setGeometry(placesPx_[ids::kClearListButton].translated(0, dy));
  if (QWidget* close = control(ids::kCloseButton))
    close->setGeometry(placesPx_[ids::kCloseButton].translated(dx, dy));
  if (fleetProgress_) {
    const QRect clear = placesPx_[ids::kClearListButton].translated(0, dy);
    const QRect close = placesPx_[ids::kCloseButton].translated(dx, dy);
    fleetProgress_->setGeometry(clear.right() + 8, clear.top(),
                                std::max(80, close.left() - clear.right() - 16), clear.height());
  }
}

}  // namespace qelta::gui

// The real main window: its controls and menus, the three mode layouts, the COM port check mark
// across a restart, the output list's mirror of the form's rows and selection, documents opened by
// dropping, the file dialog and the about box.
#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QUrl>
#include <map>

#include "GuiTestSupport.h"
#include "gui/ModelDialog.h"
#include "gui/OutputListModel.h"

namespace qelta::gui::test {
namespace {

template <typename W>
W* find(MainWindow& window, const char* name) {
  return window.findChild<W*>(QString::fromLatin1(name));
}

QString text(MainWindow& window, const char* name) {
  QWidget* w = find<QWidget>(window, name);
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  return QStringLiteral("<missing %1>").arg(QString::fromLatin1(name));
}

// Hidden explicitly, whether or not the window is shown.
bool hidden(MainWindow& window, const char* name) {
  QWidget* w = find<QWidget>(window, name);
  return !w || w->isHidden();
}

QStringList menuTexts(QMenu* menu) {
  QStringList texts;
  for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return texts;
}

std::vector<int> checkedComPorts(MainWindow& window) {
  std::vector<int> checked;
  for (int n = 1; n <= 8; ++n)
    if (window.commandAction(ids::kCmdCom1 + n - 1)->isChecked()) checked.push_back(n);
  return checked;
}

const char* kCommIdControls[] = {"grp1063", "lbl1064", "edit1026", "btn1027", "lbl1031", "btn1030"};
const char* kRadioControls[] = {"grp1057", "radio1060", "radio1061", "radio1062"};

TEST_F(GuiTest, FirstStartShowsEveryControlMenuAndColumn) {
  auto window = makeWindow();
  MainWindow& w = *window;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("QeltaConfig - Untitled"));
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

  const std::pair<const char*, const char*> texts[] = {
      {"grpDeviceInformation", "Device information"},
      {"btn1015", "&Read Device Info"},
      {"grpParameters", "Parameters"},
      {"lbl1034", "File:"},
      {"lbl1025", ""},
      {"btn1029", "Set"},
      {"btn1032", "Get"},
      {"btn1012", "Edit with Notepad"},
      {"grp1057", "Radio type"},
      {"radio1060", "1"},
      {"radio1061", "2"},
      {"radio1062", "3"},
      {"grp1063", "Comm ID"},
      {"lbl1064", "CommID:"},
      {"btn1027", "&Set new"},
      {"lbl1031", "Set next CommID:"},
      {"btn1030", ""},
      {"grpBaseStations", "Base stations"},
      {"btn1053", "Reset"},
      {"btn32789", "View"},
      {"btn1011", "C&lear list"},
      {"btn1014", "C&lose"}};
  for (const auto& [name, expected] : texts) EXPECT_EQ(text(w, name), expected) << name;
  ASSERT_NE(find<QWidget>(w, "lbl1038"), nullptr);
  ASSERT_NE(find<QWidget>(w, "face1000"), nullptr);
  EXPECT_TRUE(find<QPushButton>(w, "btn1014")->isDefault());

  // "Set" and "Edit with Notepad" wait for a configuration file; the comm ID field is writable.
  EXPECT_FALSE(find<QWidget>(w, "btn1029")->isEnabled());
  EXPECT_FALSE(find<QWidget>(w, "btn1012")->isEnabled());
  EXPECT_TRUE(find<QWidget>(w, "btn1032")->isEnabled());
  EXPECT_EQ(text(w, "edit1026"), QStringLiteral("10000"));
  EXPECT_FALSE(find<QLineEdit>(w, "edit1026")->isReadOnly());

  auto* list = find<QTreeView>(w, "list1009");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->model()->columnCount(), 3);
  const int widths[] = {150, 150, 250};
  const char* names[] = {"Name", "Value", "More"};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), names[c]);
    EXPECT_EQ(list->header()->sectionSize(c), widths[c]);
  }

  const QList<QMenu*> menus = w.menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
  QStringList titles;
  for (QAction* a : w.menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, (QStringList{"&File", "COM port", "Base station"}));
  EXPECT_EQ(
      menuTexts(find<QMenu>(w, "menuFile")),
      (QStringList{"&Open Configuration File...", "Check configuration file", "Compare with device",
                   "FirmWare update...", "-", "&About QeltaConfig...", "E&xit"}));
  EXPECT_EQ(menuTexts(find<QMenu>(w, "menuCOMport")),
            (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "-",
                         "Link settings..."}));
  EXPECT_EQ(menuTexts(find<QMenu>(w, "menuBasestation")),
            (QStringList{"View base stations", "Clear list", "-", "Inventory..."}));
  EXPECT_EQ(checkedComPorts(w), std::vector<int>{1});
}

TEST_F(GuiTest, ModeLayoutsFollowTheSettings) {
  {
    auto w = makeWindow();  // neither mode
    for (const char* name : kCommIdControls) EXPECT_TRUE(hidden(*w, name)) << name;
    for (const char* name : kRadioControls) EXPECT_TRUE(hidden(*w, name)) << name;
  }
  writeNumber("UIService", 1);
  {
    auto w = makeWindow();
    for (const char* name : kCommIdControls) EXPECT_FALSE(hidden(*w, name)) << name;
    for (const char* name : kRadioControls) EXPECT_TRUE(hidden(*w, name)) << name;
  }
  writeNumber("UIService", 0);
  writeNumber("UIProduction", 1);
  writeNumber("LastRadioUsed", 7);
  {
    auto w = makeWindow();
    for (const char* name : kCommIdControls) EXPECT_FALSE(hidden(*w, name)) << name;
    for (const char* name : kRadioControls) EXPECT_FALSE(hidden(*w, name)) << name;
    // An out-of-range radio type falls back to 1, on the screen and in the settings.
    EXPECT_TRUE(find<QRadioButton>(*w, "radio1060")->isChecked());
    EXPECT_FALSE(find<QRadioButton>(*w, "radio1061")->isChecked());
    EXPECT_FALSE(find<QRadioButton>(*w, "radio1062")->isChecked());
    EXPECT_EQ(readNumber("LastRadioUsed"), 1u);
  }
}

TEST_F(GuiTest, ComPortCheckMarkSurvivesARestart) {
  {
    auto w = makeWindow();
    w->commandAction(ids::kCmdCom1 + 4)->trigger();
    EXPECT_EQ(checkedComPorts(*w), std::vector<int>{5});
    EXPECT_EQ(w->form().comPort, 5);
    // Choosing the checked port again keeps it checked (Qt would toggle it off on its own).
    w->commandAction(ids::kCmdCom1 + 4)->trigger();
    EXPECT_EQ(checkedComPorts(*w), std::vector<int>{5});
  }
  EXPECT_EQ(readNumber("ComPort"), 5u);
  {
    auto w = makeWindow();
    EXPECT_EQ(checkedComPorts(*w), std::vector<int>{5});
    EXPECT_EQ(w->form().comPort, 5);
  }
  writeNumber("ComPort", 12);
  {
    auto w = makeWindow();
    EXPECT_TRUE(checkedComPorts(*w).empty());
    EXPECT_EQ(w->form().comPort, 12);
  }
}

TEST_F(GuiTest, OutputListMirrorsRowsImagesAndSelection) {
  auto w = makeWindow();
  OutputList& list = w->form().outputList();
  QTreeView* view = w->outputView();
  QAbstractItemModel* model = view->model();
  for (int image = 0; image <= 5; ++image)
    w->form().AddOutputRow("row" + std::to_string(image), image % 2 ? "v" : "", image);
  ASSERT_EQ(model->rowCount(), 6);
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(model->index(row, 0).data().toString(), QStringLiteral("row%1").arg(row));
    EXPECT_FALSE(model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull()) << row;
  }
  EXPECT_EQ(model->index(1, 1).data().toString(), QStringLiteral("v"));

  // An operation changing column "More" of its own row shows at once.
  list.SetText(2, 2, "more text");
  EXPECT_EQ(model->index(2, 2).data().toString(), QStringLiteral("more text"));

  // The user's selection reaches the form, with the selection mark on the current row.
  view->selectionModel()->select(model->index(1, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
  view->selectionModel()->setCurrentIndex(model->index(4, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{1, 4}));
  EXPECT_EQ(list.SelectionMark(), 4);

  // The form's selection reaches the view.
  list.SelectOnly(3);
  QList<int> shown;
  for (const QModelIndex& i : view->selectionModel()->selectedRows()) shown << i.row();
  EXPECT_EQ(shown, QList<int>{3});

  list.DeleteAllRows();
  EXPECT_EQ(model->rowCount(), 0);
  w->form().AddOutputRow("again", "", 1);
  EXPECT_EQ(model->rowCount(), 1);
}

TEST_F(GuiTest, DroppedFileChangesOnlyTheTitle) {
  auto w = makeWindow();
  w->show();
  const QString file = path(QStringLiteral("dropped.pcg"));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(file)});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.get(), &drop);
  EXPECT_EQ(w->windowTitle(), QStringLiteral("QeltaConfig - ") + file);
  EXPECT_EQ(text(*w, "lbl1025"), QString());
  EXPECT_FALSE(find<QWidget>(*w, "btn1029")->isEnabled());
  EXPECT_TRUE(w->form().configFilePath.empty());
}

TEST_F(GuiTest, OpenConfigurationFileThroughTheFileDialog) {
  auto w = makeWindow();
  const QString file = path(QStringLiteral("terminal.pcg"));
  QFile(file).open(QIODevice::WriteOnly);

  {  // Cancel changes nothing.
    ModalAnswerer cancel([](QWidget* widget) {
      auto* dialog = qobject_cast<QFileDialog*>(widget);
      if (dialog) QMetaObject::invokeMethod(dialog, "reject");
      return dialog != nullptr;
    });
    ASSERT_TRUE(w->runCommand(ids::kCmdOpenConfigFile));
    EXPECT_EQ(cancel.answered(), 1);
  }
  EXPECT_FALSE(find<QWidget>(*w, "btn1029")->isEnabled());
  EXPECT_EQ(w->windowTitle(), QStringLiteral("QeltaConfig - Untitled"));

  QStringList filters;
  ModalAnswerer choose([&](QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    if (!dialog) return false;
    filters = dialog->nameFilters();
    // As a user types the path into the name field and presses Open.
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name) return false;
    name->setText(file);
    QMetaObject::invokeMethod(dialog, "accept");
    return true;
  });
  ASSERT_TRUE(w->runCommand(ids::kCmdOpenConfigFile));
  EXPECT_EQ(choose.answered(), 1);
  ASSERT_FALSE(filters.isEmpty());
  EXPECT_TRUE(filters.first().contains(QStringLiteral("*.pcg"))) << filters.first().toStdString();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("QeltaConfig - ") + file);
  EXPECT_EQ(text(*w, "lbl1025"), QStringLiteral("terminal.pcg"));
  EXPECT_TRUE(find<QWidget>(*w, "btn1029")->isEnabled());
  EXPECT_TRUE(find<QWidget>(*w, "btn1012")->isEnabled());
}

TEST_F(GuiTest, AboutBoxAndExit) {
  auto w = makeWindow();
  w->show();
  QStringList shown;
  ModalAnswerer about([&](QWidget* widget) {
    auto* dialog = qobject_cast<ModelDialog*>(widget);
    if (!dialog) return false;
    shown << dialog->windowTitle();
    for (QLabel* label : dialog->findChildren<QLabel*>()) shown << label->text();
    dialog->okButton()->click();
    return true;
  });
  ASSERT_TRUE(w->runCommand(ids::kCmdAbout));
  EXPECT_EQ(about.answered(), 1);
  EXPECT_TRUE(shown.contains(QStringLiteral("About QeltaConfig")));
  EXPECT_TRUE(shown.contains(QStringLiteral("QeltaConfig Version 2.3.0")));

  ASSERT_TRUE(w->runCommand(ids::kCmdExit));
  EXPECT_FALSE(w->isVisible());
}

// The link's property page from the COM port menu: its caption, both check boxes showing the
// stored properties, and a change that the next window reads back.
TEST_F(GuiTest, LinkSettingsShowAndStoreTheLinkProperties) {
  writeNumber("BootType", 1);
  auto w = makeWindow();
  w->show();
  EXPECT_TRUE(w->form().link().GetBootType());
  QStringList groups;
  std::map<QString, bool> checks;
  QString title;
  ModalAnswerer page([&](QWidget* widget) {
    auto* dialog = qobject_cast<ModelDialog*>(widget);
    if (!dialog) return false;
    title = dialog->windowTitle();
    for (QGroupBox* group : dialog->findChildren<QGroupBox*>()) groups << group->title();
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
      checks[box->text()] = box->isChecked();
    for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
      if (box->text() == QStringLiteral("Automatic RESET")) box->click();
    dialog->okButton()->click();
    return true;
  });
  w->commandAction(ids::kCmdLinkSettings)->trigger();
  ASSERT_EQ(page.answered(), 1);
  EXPECT_EQ(title, QStringLiteral("Link settings"));
  EXPECT_EQ(groups, QStringList{QStringLiteral("General")});
  EXPECT_EQ(checks, (std::map<QString, bool>{{QStringLiteral("Automatic BOOT mode set"), true},
                                             {QStringLiteral("Automatic RESET"), false}}));
  EXPECT_TRUE(w->form().link().GetResettype());
  EXPECT_EQ(readNumber("ResetType"), 1u);
  EXPECT_EQ(readNumber("BootType"), 1u);

  w.reset();
  auto again = makeWindow();
  EXPECT_TRUE(again->form().link().GetResettype());
  EXPECT_TRUE(again->form().link().GetBootType());
}

TEST_F(GuiTest, LargerWindowGivesTheRoomToTheList) {
  auto w = makeWindow();
  w->show();
  QWidget* list = find<QWidget>(*w, "list1009");
  QWidget* close = find<QWidget>(*w, "btn1014");
  const QRect listBefore = list->geometry();
  const QRect closeBefore = close->geometry();
  const QRect buttonBefore = find<QWidget>(*w, "btn1015")->geometry();
  w->resize(w->width() + 100, w->height() + 60);
  ASSERT_TRUE(waitUntil([&] { return list->width() == listBefore.width() + 100; }));
  EXPECT_EQ(list->height(), listBefore.height() + 60);
  EXPECT_EQ(close->geometry(), closeBefore.translated(100, 60));
  EXPECT_EQ(find<QWidget>(*w, "btn1015")->geometry(), buttonBefore);
}

}  // namespace
}  // namespace qelta::gui::test

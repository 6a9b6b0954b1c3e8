// The program's one window: the main form's controls at their fixed places, the three menus, the
// output list and the link control's face. The window owns the form (CQeltaConfigView) and
// mirrors its control-state model and output list; every button, menu item, edit and list click
// goes to the form as one operation, during which the window keeps painting but takes no input.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>

#include "app/QeltaConfigView.h"

class QAction;
class QTreeView;

namespace qelta::gui {

class QtUiPort;
class OutputListModel;
class LinkFaceWidget;
class LoadProgressBar;
class FleetProgressPanel;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Creates the form (which starts discovery) and the window's controls, then initialises the
  // form (settings, modes, the output list's columns).
  explicit MainWindow(FormEnvironment env = {}, QWidget* parent = nullptr);
  ~MainWindow() override;

  CQeltaConfigView& form() { return *form_; }
  QtUiPort& port() { return *port_; }

  // The widget of a form control by id (nullptr for an unknown id), a menu command's action.
  QWidget* control(int id) const;
  QAction* commandAction(int command) const;
  QTreeView* outputView() const { return listView_; }
  FleetProgressPanel* fleetProgress() const { return fleetProgress_; }
  OutputListModel* outputModel() const { return listModel_; }

  // A document named on the command line or dropped on the window: only the title changes.
  void openDocument(const QString& path);
  // A second start asked for the window: restore it and bring it (or its open dialog) forward.
  void bringForward();
  // Runs one command of the form as the user would start it; false when the window was busy or
  // nothing handles the command.
  bool runCommand(int id);

  // The size of the form in pixels for the window's font.
  QSize formSize() const { return formSize_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 public:
  // Operations at least this long have the input that piled up meanwhile thrown away when they
  // end, instead of running it late; shorter ones keep it (typing ahead into the comm ID field).
  static constexpr qint64 kDiscardInputAfterMs = 250;

 private:
  void buildForm();
  void buildMenus();
  void syncControl(int id);
  void syncAll();
  void layoutForSize(const QSize& size);
  void listSelectionChanged();
  void followFormSelection(int row);
  void operationsFinished();
  template <typename F>
  void asOperation(F&& f);

  std::unique_ptr<QtUiPort> port_;  // outlives the form, which holds a reference to it
  std::unique_ptr<CQeltaConfigView> form_;
  QWidget* formWidget_ = nullptr;
  std::map<int, QWidget*> controls_;
  std::map<int, QAction*> actions_;
  std::map<int, QRect> placesPx_;  // each control's place in the unstretched form
  QTreeView* listView_ = nullptr;
  OutputListModel* listModel_ = nullptr;
  LinkFaceWidget* face_ = nullptr;
  LoadProgressBar* loadProgress_ = nullptr;      // under the face while a load runs
  FleetProgressPanel* fleetProgress_ = nullptr;  // under the list while a fleet run goes on
  int controlListener_ = 0;
  QSize formSize_;
  bool syncingSelection_ = false;
  bool drainingInput_ = false;
  bool closePending_ = false;
};

}  // namespace qelta::gui

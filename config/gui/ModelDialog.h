// A DialogModel shown as a modal Qt dialog. Fields are laid out top to bottom in model order; a
// Group field frames the fields that follow it up to the next Group. Consecutive Radio fields form
// one exclusive group. Values go into the model as the user edits them (so a Button's handler and
// the model's onEdit see them); Cancel puts back the values the model held when it opened, OK
// runs the model's validation and stays open with its text in a warning box when it refuses.
#pragma once

#include <QDialog>
#include <map>
#include <vector>

#include "ui/DialogModel.h"

class QWidget;
class QPushButton;

namespace qelta::gui {

class ModelDialog : public QDialog {
  Q_OBJECT
 public:
  ModelDialog(qelta::DialogModel& model, QWidget* parent);

  // The widget of a field by its index in the model (for tests); nullptr when it has none.
  QWidget* fieldWidget(std::size_t index) const;
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

  // Shows the dialog modally; true when OK was pressed and the model accepted the values.
  static bool run(qelta::DialogModel& model, QWidget* parent);

  void done(int result) override;

 private:
  void build();
  // Widget contents -> model for one field, then the model's reaction.
  void fieldEdited(std::size_t index);
  // Model -> widgets, for every widget whose shown value differs (keeps the cursor of the field
  // being typed into).
  void refreshFromModel();
  void pressOk();

  qelta::DialogModel& model_;
  std::vector<std::string> openingValues_;
  std::vector<QWidget*> widgets_;           // by field index; nullptr for fields without a widget
  std::map<std::size_t, QWidget*> labels_;  // caption labels beside edit fields
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace qelta::gui

// The output list (control 1009) as a Qt table model: it mirrors the form's OutputList and follows
// its change notifications, so rows appear as operations add them.
#pragma once

#include <QAbstractTableModel>

#include "app/OutputList.h"

namespace qelta::gui {

class OutputListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit OutputListModel(OutputList& list, QObject* parent = nullptr);
  ~OutputListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  OutputList& list() { return list_; }

 signals:
  // A row was appended (the view scrolls it into view).
  void rowAppended(int row);
  // The form changed the selection of a row; the view follows.
  void selectionChangedByForm(int row);
  // The form emptied the list.
  void listCleared();

 private:
  void onChange(const OutputList& list, const OutputListChange& change);

  OutputList& list_;
  int listener_ = 0;
  int shownRows_ = 0;  // rows the view knows of
};

}  // namespace qelta::gui

#include "gui/OutputListModel.h"

#include "gui/ListIcons.h"

namespace qelta::gui {

OutputListModel::OutputListModel(OutputList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list), shownRows_(list.RowCount()) {
  listener_ = list_.AddListener(
      [this](const OutputList& l, const OutputListChange& change) { onChange(l, change); });
}

OutputListModel::~OutputListModel() { list_.RemoveListener(listener_); }

int OutputListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shownRows_;
}

int OutputListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : OutputList::kColumns;
}

QVariant OutputListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= shownRows_ || !list_.ValidRow(index.row()) ||
      index.column() < 0 || index.column() >= OutputList::kColumns)
    return {};
  const OutputRow& row = list_.Row(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: {
      const std::string& text = row.text[static_cast<std::size_t>(index.column())];
      if (role == Qt::ToolTipRole && text.empty()) return {};
      return QString::fromStdString(text);
    }
    case Qt::DecorationRole:
      if (index.column() == 0) return listIcon(row.image);
      return {};
    default:
      return {};
  }
}

QVariant OutputListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= OutputList::kColumns)
    return {};
  return QString::fromLatin1(OutputList::kColumnNames[section]);
}

void OutputListModel::onChange(const OutputList& list, const OutputListChange& change) {
  switch (change.kind) {
    case OutputListChange::RowAdded: {
      // Rows are only ever appended; catch up with every row the view has not seen yet.
      const int count = list.RowCount();
      if (count > shownRows_) {
        beginInsertRows({}, shownRows_, count - 1);
        shownRows_ = count;
        endInsertRows();
      }
      emit rowAppended(change.row);
      break;
    }
    case OutputListChange::TextChanged:
    case OutputListChange::ImageChanged:
    case OutputListChange::ItemChanged:
      if (change.row >= 0 && change.row < shownRows_) {
        const int first =
            change.kind == OutputListChange::TextChanged && change.column >= 0 ? change.column : 0;
        const int last = change.kind == OutputListChange::TextChanged && change.column >= 0
                             ? change.column
                             : OutputList::kColumns - 1;
        emit dataChanged(index(change.row, first), index(change.row, last));
      }
      break;
    case OutputListChange::KindChanged:
      break;  // the window shows the image; the kind is for scripts
    case OutputListChange::SelectionChanged:
      emit selectionChangedByForm(change.row);
      break;
    case OutputListChange::Cleared:
      beginResetModel();
      shownRows_ = list.RowCount();
      endResetModel();
      emit listCleared();
      break;
  }
}

}  // namespace qelta::gui

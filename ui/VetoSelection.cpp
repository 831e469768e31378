#include "VetoSelection.h"

#include "platform/ScopeExit.h"

namespace elo {

namespace {
QModelIndex RowOf(const QModelIndex& index) {
    return index.isValid() ? index.siblingAtColumn(0) : QModelIndex();
}
} // namespace

QModelIndex TVetoSelectionModel::SelectedRow() const {
    const QModelIndexList rows = selectedRows(0);
    return rows.isEmpty() ? QModelIndex() : rows.first();
}

QModelIndex TVetoSelectionModel::Outcome(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) const {
    const QModelIndex current = SelectedRow();
    if (command == NoUpdate) return current;
    const QModelIndex row = RowOf(index);
    if (command & (Select | Toggle)) {
        if ((command & Toggle) && row == current) return QModelIndex();
        return row.isValid() ? row : (command & Clear ? QModelIndex() : current);
    }
    if (command & Clear) return QModelIndex();
    if ((command & Deselect) && row == current) return QModelIndex();
    return current;
}

bool TVetoSelectionModel::Allowed(const QModelIndex& to) {
    const QModelIndex from = SelectedRow();
    if (to == from || !OnChanging || FAsking) return true;
    // The handler may change the model (a commit): it is asked once per move.
    FAsking = true;
    TScopeExit done([this] { FAsking = false; });
    return OnChanging(from, to);
}

void TVetoSelectionModel::setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) {
    if (!Allowed(Outcome(index, command))) return;
    // The move was allowed: the select it makes is not asked about again.
    const bool asking = FAsking;
    FAsking = true;
    TScopeExit done([this, asking] { FAsking = asking; });
    QItemSelectionModel::setCurrentIndex(index, command);
}

void TVetoSelectionModel::select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) {
    if (!Allowed(Outcome(index, command))) return;
    QItemSelectionModel::select(index, command);
}

void TVetoSelectionModel::select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) {
    const QModelIndex first = selection.isEmpty() ? QModelIndex() : QModelIndex(selection.first().topLeft());
    if (!Allowed(Outcome(first, command))) return;
    QItemSelectionModel::select(selection, command);
}

void SelectUnmovedCurrent(QAbstractItemView* view, const QModelIndex& before, int key) {
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        break;
    default:
        return;
    }
    QItemSelectionModel* model = view->selectionModel();
    if (!before.isValid() || view->currentIndex() != before || model->isSelected(before)) return;
    model->setCurrentIndex(before, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace elo

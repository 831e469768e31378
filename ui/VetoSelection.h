// A selection model that asks before the selection moves. Qt's views move
// their selection without asking; the windows need the old row's leave logic
// to run first, and a refusal to keep the selection where it is, for clicks,
// keys and programmatic changes alike.
#pragma once

#include <QAbstractItemView>
#include <QItemSelectionModel>

#include <functional>

namespace elo {

class TVetoSelectionModel : public QItemSelectionModel {
    Q_OBJECT
public:
    using QItemSelectionModel::QItemSelectionModel;

    // Asked before the selected row (column 0 index; invalid for none) changes
    // from `from` to `to`; false refuses the change. An exception it raises
    // refuses the change as well and goes on to the caller.
    std::function<bool(const QModelIndex& from, const QModelIndex& to)> OnChanging;

    // The one selected row, or an invalid index.
    QModelIndex SelectedRow() const;

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override;

private:
    // Whether a request that would leave `to` selected may go ahead.
    bool Allowed(const QModelIndex& to);
    QModelIndex Outcome(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) const;
    bool FAsking = false;
};

// Qt makes a view's first row current, without selecting it, when the view
// takes the focus with nothing current; an arrow key whose target is that row
// then moves nothing. Called after the view handled key: when the current row
// did not move from before and is not selected, it is selected (through the
// selection model, so its rules still apply), as desktop views do.
void SelectUnmovedCurrent(QAbstractItemView* view, const QModelIndex& before, int key);

} // namespace elo

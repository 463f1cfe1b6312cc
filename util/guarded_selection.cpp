#include "guarded_selection.h"

#include <QTimer>

TGuardedSelectionModel::TGuardedSelectionModel(QAbstractItemModel *model, QObject *parent)
    : QItemSelectionModel(model, parent)
{
}

bool TGuardedSelectionModel::Allows(const QModelIndex &target)
{
    const QModelIndex row = target.siblingAtColumn(0);
    if (!m_gate || !row.isValid() || row == currentIndex().siblingAtColumn(0) || row == m_approved)
        return true;
    if (m_asking)
        return false; // no second question while one is open
    if (m_refused.isValid() && m_refused == row)
        return false;
    m_asking = true;
    const bool ok = m_gate(currentIndex(), row);
    m_asking = false;
    if (!ok) {
        m_refused = row;
        QTimer::singleShot(0, this, [this] { m_refused = QPersistentModelIndex(); });
    }
    return ok;
}

void TGuardedSelectionModel::setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command)
{
    if (!Allows(index))
        return;
    // The base class selects before it moves the current row; that inner
    // select must not ask again.
    const QPersistentModelIndex previous = m_approved;
    m_approved = index.siblingAtColumn(0);
    QItemSelectionModel::setCurrentIndex(index, command);
    m_approved = previous;
}

void TGuardedSelectionModel::select(const QModelIndex &index, QItemSelectionModel::SelectionFlags command)
{
    select(QItemSelection(index, index), command);
}

void TGuardedSelectionModel::select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command)
{
    // A control-click would take the highlight off the current row while the
    // commands still act on it; the row stays selected.
    if (!(command & QItemSelectionModel::Select) && (command & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        && !selection.isEmpty())
        return;
    if ((command & QItemSelectionModel::Select) && !selection.isEmpty() && !Allows(selection.indexes().value(0)))
        return;
    QItemSelectionModel::select(selection, command);
}

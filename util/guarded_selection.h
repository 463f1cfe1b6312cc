#pragma once

#include <QItemSelectionModel>
#include <QPersistentModelIndex>

#include <functional>

// A selection model whose current row moves only when a gate agrees. Qt's
// views have no "changing" event that can say no; this one asks before
// anything changes, so a refused move shows no flicker through the other row
// and however the move was asked for (mouse, keyboard, keyboard search, a
// programmatic selection) it is asked once.
class TGuardedSelectionModel : public QItemSelectionModel
{
    Q_OBJECT
public:
    // Answers whether the current row may move from `from` to `to`.
    using Gate = std::function<bool(const QModelIndex &from, const QModelIndex &to)>;

    explicit TGuardedSelectionModel(QAbstractItemModel *model, QObject *parent = nullptr);

    void SetGate(Gate gate) { m_gate = std::move(gate); }

    void setCurrentIndex(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QModelIndex &index, QItemSelectionModel::SelectionFlags command) override;
    void select(const QItemSelection &selection, QItemSelectionModel::SelectionFlags command) override;

private:
    bool Allows(const QModelIndex &target);

    Gate m_gate;
    bool m_asking = false;
    // A view asks twice for one click (current, then selection); the second
    // request for a target just refused is refused without asking again.
    QPersistentModelIndex m_refused;
    // The row a move was just allowed to; requests on its way pass.
    QPersistentModelIndex m_approved;
};

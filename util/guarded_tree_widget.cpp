#include "guarded_tree_widget.h"

#include "guarded_selection.h"

#include <QMouseEvent>

TGuardedTreeWidget::TGuardedTreeWidget(QWidget *parent) : QTreeWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    m_guard = new TGuardedSelectionModel(model(), this);
    QItemSelectionModel *old = selectionModel();
    setSelectionModel(m_guard);
    delete old;
    connect(m_guard, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                emit currentNodeChanged(itemFromIndex(current), itemFromIndex(previous));
            });
    connect(m_guard, &QItemSelectionModel::selectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = selectedItems();
        emit selectedNodeChanged(selected.value(0));
    });
}

void TGuardedTreeWidget::SetChangingGate(ChangingGate gate)
{
    m_guard->SetGate([this, gate](const QModelIndex &from, const QModelIndex &to) {
        return gate(itemFromIndex(from), itemFromIndex(to));
    });
}

void TGuardedTreeWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

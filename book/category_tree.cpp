#include "category_tree.h"

#include "account_book.h"
#include "util/guarded_selection.h"

#include <QMouseEvent>

TCategoryTree::TCategoryTree(QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setUniformRowHeights(true);
}

void TCategoryTree::SetBook(TAccountBook *book)
{
    m_book = book;
    QItemSelectionModel *old = selectionModel();
    setModel(book);
    // setModel made a plain selection model; the guarded one takes its place.
    QItemSelectionModel *plain = selectionModel();
    m_guard = new TGuardedSelectionModel(book, this);
    setSelectionModel(m_guard);
    delete plain;
    delete old;
    if (m_gate)
        SetChangingGate(m_gate);
    connect(m_guard, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                emit currentNodeChanged(current, previous);
            });
}

void TCategoryTree::SetChangingGate(ChangingGate gate)
{
    m_gate = std::move(gate);
    if (m_guard)
        m_guard->SetGate(m_gate);
}

QByteArray TCategoryTree::NodeName(const QModelIndex &node)
{
    return node.data(TAccountBook::NameRole).toByteArray();
}

void TCategoryTree::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

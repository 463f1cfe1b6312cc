#include "category_tree.h"

#include "util/codepage.h"

#include "util/guarded_selection.h"

#include <QHeaderView>
#include <QMouseEvent>

TCategoryTree::TCategoryTree(QWidget *parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setUniformRowHeights(true);
    m_guard = new TGuardedSelectionModel(model(), this);
    QItemSelectionModel *old = selectionModel();
    setSelectionModel(m_guard);
    delete old;
    connect(m_guard, &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current, const QModelIndex &previous) {
                emit currentNodeChanged(itemFromIndex(current), itemFromIndex(previous));
            });
}

void TCategoryTree::SetChangingGate(ChangingGate gate)
{
    m_guard->SetGate([this, gate](const QModelIndex &from, const QModelIndex &to) {
        return gate(itemFromIndex(from), itemFromIndex(to));
    });
}

void TCategoryTree::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

QByteArray TCategoryTree::NodeName(const QTreeWidgetItem *node)
{
    return node ? node->data(0, Qt::UserRole).toByteArray() : QByteArray();
}

void TCategoryTree::SetNodeName(QTreeWidgetItem *node, const QByteArray &name)
{
    node->setData(0, Qt::UserRole, name);
    node->setText(0, FromAnsi(name));
}

void TCategoryTree::SetIcons(const QIcon &category, const QIcon &item)
{
    m_categoryIcon = category;
    m_itemIcon = item;
}

QTreeWidgetItem *TCategoryTree::AddCategoryNode(const QByteArray &name)
{
    auto *node = new QTreeWidgetItem;
    SetNodeName(node, name);
    node->setIcon(0, m_categoryIcon);
    addTopLevelItem(node);
    return node;
}

QTreeWidgetItem *TCategoryTree::AddItemNode(QTreeWidgetItem *category, const QByteArray &title)
{
    auto *node = new QTreeWidgetItem;
    SetNodeName(node, title);
    node->setIcon(0, m_itemIcon);
    category->addChild(node);
    return node;
}

QTreeWidgetItem *TCategoryTree::FindCategoryNode(const QByteArray &name) const
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (NodeName(topLevelItem(i)) == name)
            return topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem *TCategoryTree::Selected() const
{
    return currentItem();
}

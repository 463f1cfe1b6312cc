#include "category_tree.h"

#include "util/codepage.h"

#include <QHeaderView>

TCategoryTree::TCategoryTree(QWidget *parent) : TGuardedTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setUniformRowHeights(true);
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

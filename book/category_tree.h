#pragma once

#include "util/guarded_tree_widget.h"

#include <QByteArray>

// The two-level tree of the account book: category nodes at the top, item
// nodes below them. Each node keeps its name as the book's raw bytes, so every
// comparison is made on bytes, not on the converted text shown.
class TCategoryTree : public TGuardedTreeWidget
{
    Q_OBJECT
public:
    explicit TCategoryTree(QWidget *parent = nullptr);

    static QByteArray NodeName(const QTreeWidgetItem *node);
    static void SetNodeName(QTreeWidgetItem *node, const QByteArray &name);
    static bool IsItemNode(const QTreeWidgetItem *node) { return node && node->parent(); }

    QTreeWidgetItem *AddCategoryNode(const QByteArray &name);
    QTreeWidgetItem *AddItemNode(QTreeWidgetItem *category, const QByteArray &title);

    // The first top-level node whose name equals `name` byte for byte.
    QTreeWidgetItem *FindCategoryNode(const QByteArray &name) const;

    QTreeWidgetItem *Selected() const;

    void SetIcons(const QIcon &category, const QIcon &item);

private:
    QIcon m_categoryIcon;
    QIcon m_itemIcon;
};

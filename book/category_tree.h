#pragma once

#include <QByteArray>
#include <QTreeWidget>

#include <functional>

class TGuardedSelectionModel;

// The two-level tree of the account book: category nodes at the top, item
// nodes below them. Each node keeps its name as the book's raw bytes, so every
// comparison is made on bytes, not on the converted text shown.
class TCategoryTree : public QTreeWidget
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

    // Asked before the current node moves; false keeps it where it is.
    using ChangingGate = std::function<bool(QTreeWidgetItem *from, QTreeWidgetItem *to)>;
    void SetChangingGate(ChangingGate gate);

signals:
    // The current node moved (after any gate agreed). Qt's own
    // currentItemChanged stays tied to the view's first selection model.
    void currentNodeChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);

protected:
    // A press that is held and dragged does not walk the selection over the
    // nodes it passes: each of them would ask the save question.
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QIcon m_categoryIcon;
    QIcon m_itemIcon;
    TGuardedSelectionModel *m_guard = nullptr;
};

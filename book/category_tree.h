#pragma once

#include <QByteArray>
#include <QTreeView>

#include <functional>

class TAccountBook;
class TGuardedSelectionModel;

// The two-level tree of the account book: a view of the book's categories and
// their items. Its current node moves only when the changing gate agrees
// (TGuardedSelectionModel); moves are announced by currentNodeChanged.
class TCategoryTree : public QTreeView
{
    Q_OBJECT
public:
    explicit TCategoryTree(QWidget *parent = nullptr);

    void SetBook(TAccountBook *book);
    TAccountBook *Book() const { return m_book; }

    // Asked before the current node moves; false keeps it where it is.
    using ChangingGate = std::function<bool(const QModelIndex &from, const QModelIndex &to)>;
    void SetChangingGate(ChangingGate gate);

    // The node's name as the book's raw bytes.
    static QByteArray NodeName(const QModelIndex &node);
    static bool IsItemNode(const QModelIndex &node) { return node.isValid() && node.parent().isValid(); }

    QModelIndex Selected() const { return currentIndex(); }

signals:
    void currentNodeChanged(const QModelIndex &current, const QModelIndex &previous);

protected:
    // A press that is held and dragged does not walk the selection over the
    // rows it passes: each of them would ask the gate.
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    TAccountBook *m_book = nullptr;
    TGuardedSelectionModel *m_guard = nullptr;
    ChangingGate m_gate;
};

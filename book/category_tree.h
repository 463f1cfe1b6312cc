#pragma once

#include <QByteArray>
#include <QList>
#include <QPersistentModelIndex>
#include <QTreeView>

#include <functional>

class QLabel;
class TAccountBook;
class TBookFilter;
class TGuardedSelectionModel;

// The two-level tree of the account book: a view of the book's categories and
// their items, through a search filter (TBookFilter) it owns. Its current node
// moves only when the changing gate agrees (TGuardedSelectionModel); moves are
// announced by currentNodeChanged.
//
// Everything the tree hands out or takes as a "node" is an index of the book,
// never of the filter between them, so its callers need not know whether a
// search is on. QTreeView's own functions (currentIndex, setCurrentIndex,
// expand, visualRect, model...) keep speaking of the view's model.
class TCategoryTree : public QTreeView
{
    Q_OBJECT
public:
    explicit TCategoryTree(QWidget *parent = nullptr);

    void SetBook(TAccountBook *book);
    TAccountBook *Book() const { return m_book; }
    TBookFilter *Filter() const { return m_filter; }

    // Asked before the current node moves; false keeps it where it is.
    using ChangingGate = std::function<bool(const QModelIndex &from, const QModelIndex &to)>;
    void SetChangingGate(ChangingGate gate);

    // The node's name as the book's raw bytes.
    static QByteArray NodeName(const QModelIndex &node);
    static bool IsItemNode(const QModelIndex &node) { return node.isValid() && node.parent().isValid(); }

    QModelIndex Selected() const;
    // Moves the current node there (the gate is asked). A node the search
    // hides is shown first, and stays shown until the search text changes.
    // True when the node is current afterwards.
    bool SetCurrent(const QModelIndex &node);
    // Opens the node's category and scrolls the node into view.
    void Reveal(const QModelIndex &node);

    // Between the book and the view's model.
    QModelIndex ViewIndex(const QModelIndex &node) const;
    QModelIndex NodeIndex(const QModelIndex &viewIndex) const;

    // Filters the tree. While a search text is set, every category shown is
    // open; the current node stays in view while it matches or holds unsaved
    // typing (then set in italics), else the tree selects nothing until the
    // text shows it again. When nothing matches, a line over the tree says
    // so. Clearing the text brings back the categories that were open before
    // the search began and the node that was selected then, or keeps and
    // shows the node the user selected since.
    void SetSearchText(const QString &text);
    // Asked as the text changes: whether the editor holds unsaved typing of
    // the selected node, which then stays in view. None: never.
    void SetUnsavedTyping(std::function<bool()> typing) { m_typing = std::move(typing); }
    // Moves into the results: keeps the selected node when it is one, else
    // selects the first item the search found (the gate is asked), and
    // shows it. False when there is no result to select.
    bool SelectFirstResult();

    // The tree as it stands apart from a search: the categories open (before
    // the search began, while one is on) and the node selected or hidden by
    // the search.
    QList<QModelIndex> OpenCategoriesBesideSearch() const;
    QModelIndex SelectedBesideSearch() const;

signals:
    void currentNodeChanged(const QModelIndex &current, const QModelIndex &previous);
    // An item dropped on another category (nodes of the book); the tree and
    // the book change nothing until the receiver moves it.
    void itemMoveRequested(const QModelIndex &item, const QModelIndex &category);

protected:
    // A press that is held and dragged does not walk the selection over the
    // rows it passes: each of them would ask the gate.
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void SaveTreeState();
    void RestoreTreeState();
    // Before a new text applies: the current node it would hide is let go.
    void LetGoOfHidden();
    // The node the search hid comes back as current once it is shown again.
    void TakeBackHidden();
    void UpdateEmptyLine();

    TAccountBook *m_book = nullptr;
    TBookFilter *m_filter = nullptr;
    TGuardedSelectionModel *m_guard = nullptr;
    ChangingGate m_gate;
    QMetaObject::Connection m_reopen;
    // The tree as it was before the search began, in nodes of the book.
    QList<QPersistentModelIndex> m_openBefore;
    QPersistentModelIndex m_selectedBefore;
    bool m_selectionMovedInSearch = false;
    std::function<bool()> m_typing;
    // The selected node the search hides; current again when shown.
    QPersistentModelIndex m_hidden;
    bool m_quiet = false; // the tree moves the current node, not the user
    QLabel *m_emptyLine = nullptr;
};

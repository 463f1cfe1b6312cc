#pragma once

#include "book/search_rule.h"

#include <QByteArray>
#include <QList>
#include <QPersistentModelIndex>
#include <QSortFilterProxyModel>
#include <QString>

#include <vector>

class TAccountBook;

// The account book as the tree shows it while the user searches: an item
// stays when the search text occurs in its searchable fields (never the
// password), a category when its name holds the text (then with all its
// items) or when one of its items stays. An empty text shows the whole book.
//
// Each item's folded text is kept in one buffer for the whole book, folded
// the first time a search needs it and again only for the records the book
// reports as changed, so a keystroke costs one pass over that buffer. Nodes
// handed to Keep stay in view until the text changes, matching or not: the
// tree keeps its selected item there, so typing in the editor is never hidden
// by the search.
class TBookFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit TBookFilter(QObject *parent = nullptr);

    void SetBook(TAccountBook *book);
    TAccountBook *Book() const { return m_book; }

    // The search text as typed. `keep` (a node of the book) stays in view
    // under the new text; every other node kept before is let go.
    void SetText(const QString &text, const QModelIndex &keep = QModelIndex());
    const QString &Text() const { return m_text; }
    bool IsFiltering() const { return !m_rule.IsEmpty(); }

    // Keeps a node of the book (and its category) in view until the text
    // changes; a node the text hides is shown at once.
    void Keep(const QModelIndex &node);

    // Whether anything matches the text itself: not counting nodes shown only
    // because they were kept. True while the text is empty.
    bool HasMatches() const;
    // Whether a node of the book is shown for the text itself (an item that
    // matches or whose category's name does; a category whose name does).
    bool IsMatch(const QModelIndex &node) const;
    // Whether the node would be in view under the text as it stands.
    bool Accepts(const QModelIndex &node) const;

    // True for a row shown only because it was kept; such a row's tool tip
    // says so.
    static constexpr int ShownKeptRole = Qt::UserRole + 1;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The row that shows a node of the book, or an invalid index when the
    // node or its category is filtered out (mapFromSource alone answers for
    // an item whose category is hidden too).
    QModelIndex ShownIndex(const QModelIndex &node) const;

    // A drop the book takes for a move is passed on as a request, in nodes
    // of the book; the model moves nothing itself. True when it was passed on.
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

signals:
    // A new text is decided but not yet applied: a receiver may move the
    // view's current row off a node the text is about to hide, which the
    // selection model would otherwise move to a neighbour on its own.
    void textAboutToApply();
    void moveRequested(const QModelIndex &item, const QModelIndex &category);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    struct TSpan
    {
        qint64 offset = -1; // into m_folded; -1 while not folded
        qint64 size = 0;
    };

    // Folds every record not yet folded, appending its text to the buffer.
    void FoldAll() const;
    void FoldRecord(qsizetype record) const;
    // Marks in m_recordMatches every record whose folded text holds the
    // text, but those `skip` marks, in one pass of the rule per run of
    // records the buffer holds side by side.
    void ScanBuffer(const std::vector<char> &skip) const;
    void ScanPlaces(size_t first, size_t last) const;
    void ForgetRecord(qsizetype record);
    void ForgetAll();
    void EnsureMatches() const;
    bool KeptCategory(int row) const;
    bool KeptItem(int row, int categoryRow) const;

    // Book signals, seen before the proxy's own handlers see them.
    void BookDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight);
    void BookRowsInserted(const QModelIndex &parent, int first, int last);
    void BookRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last);
    void BookRowsRemoved(const QModelIndex &parent, int first, int last);
    void BookRestructured();
    // Filters the category again when the answer for it has changed.
    void SyncCategory(const QModelIndex &category);

    TAccountBook *m_book = nullptr;
    QString m_text;
    TSearchRule m_rule{QByteArray()};
    QList<QPersistentModelIndex> m_kept;

    // Folded text of every record, in one buffer; m_stale bytes of it belong
    // to no record any more and go at the next compaction.
    mutable QByteArray m_folded;
    mutable std::vector<TSpan> m_spans; // by record number
    mutable qint64 m_stale = 0;
    // The same spans by their place in the buffer, ascending; a record of -1
    // marks stale bytes. Folding appends, so the order holds by itself.
    struct TPlace
    {
        qint64 offset;
        qint32 size;
        qint32 record;
    };
    mutable std::vector<TPlace> m_places;
    mutable bool m_allFolded = false;
    std::vector<qsizetype> m_removing; // records of item rows about to go

    // What the current text keeps; recomputed when m_matchesDirty.
    mutable bool m_matchesDirty = true;
    mutable std::vector<char> m_categoryNamed; // the category's name matches
    mutable std::vector<char> m_categoryHolds; // one of its items matches
    mutable std::vector<char> m_recordMatches;
};

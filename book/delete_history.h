#pragma once

#include "book/account_book.h"

#include <QByteArray>
#include <QModelIndex>

#include <vector>

// The deletes of a run, latest last, each with the bytes it took away, so
// that an undo puts the book back as its files held it: the category entry
// at its row and every record at its place in items.dat.
class TDeleteHistory
{
public:
    ~TDeleteHistory();

    // Deletes through the book and keeps what went.
    TBookOutcome DeleteItem(TAccountBook &book, const QModelIndex &item);
    TBookOutcome DeleteCategory(TAccountBook &book, const QModelIndex &category);

    bool IsEmpty() const { return m_deletes.empty(); }
    // What the next undo brings back: a category's name or an item's title.
    QByteArray NextName() const;
    bool NextIsCategory() const;

    // Puts the latest delete back and forgets it; `restored` receives the
    // category's or the item's node. The delete stays kept when the book
    // has since taken the name (CategoryExists, ItemExists) or lost the
    // item's category (NoCategory): a record put back there would be shown
    // nowhere or twice.
    TBookOutcome Undo(TAccountBook &book, QModelIndex *restored = nullptr);
    // A book read again from its files: the places kept no longer apply.
    void Clear();

private:
    struct TDelete
    {
        bool category = false;
        int row = 0;
        QByteArray name; // the category's name or the item's title
        QByteArray itemCategory;
        TAccountBook::TRemovedRecords records;
    };
    std::vector<TDelete> m_deletes;
};

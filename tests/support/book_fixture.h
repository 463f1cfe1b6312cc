#pragma once

#include "book/account_book.h"
#include "support/temp_app_folder.h"

#include <QAbstractItemModel>
#include <QByteArray>
#include <QStringList>

// '|' stands for the delimiter 0xA5 and '#' for 0xA7, to keep rows readable.
inline QByteArray R(const char *s)
{
    QByteArray out(s);
    out.replace('|', '\xA5').replace('#', '\xA7');
    return out;
}

// The book's categories and records as lists, in the order the files hold them.
inline TStringList CategoryList(const TAccountBook &book)
{
    TStringList out;
    for (int c = 0; c < book.CategoryCount(); ++c)
        out.append(book.CategoryName(c));
    return out;
}
inline TStringList ItemList(const TAccountBook &book)
{
    TStringList out;
    for (qsizetype r = 0; r < book.RecordCount(); ++r)
        out.append(book.Record(r));
    return out;
}

// A book read from the two files written into a throw-away folder.
struct TLoadedBook
{
    TLoadedBook(const QByteArray &categories, const QByteArray &items)
    {
        dir.Write("categories.dat", categories);
        dir.Write("items.dat", items);
        book.LoadCategories(dir.File("categories.dat"));
        book.LoadItems(dir.File("items.dat"));
    }
    // A node of the book (not of a view over it).
    QModelIndex Node(int category, int item = -1) const
    {
        const QModelIndex c = book.index(category, 0);
        return item < 0 ? c : book.index(item, 0, c);
    }
    // A two-level model as text, a line per category: "Name:item,item".
    static QStringList TreeOf(const QAbstractItemModel &model)
    {
        QStringList out;
        for (int i = 0; i < model.rowCount(); ++i) {
            const QModelIndex c = model.index(i, 0);
            QString line = c.data().toString() + ":";
            for (int k = 0; k < model.rowCount(c); ++k)
                line += (k ? "," : "") + model.index(k, 0, c).data().toString();
            out << line;
        }
        return out;
    }
    QStringList Tree() const { return TreeOf(book); }
    // items.dat as the book would write it now.
    QByteArray SavedItems() const
    {
        book.SaveItems(dir.File("out.dat"));
        return dir.Read("out.dat");
    }

    TTempAppFolder dir;
    TAccountBook book;
};

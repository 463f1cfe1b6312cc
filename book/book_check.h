#pragma once

#include "book/item_record.h"
#include "util/string_list.h"

#include <QByteArrayList>

#include <QList>
#include <QString>

// What a look over the two book files finds that the window would trip over
// or hide: for a check from the command line, before an import or after a
// hand edit.
struct TBookFinding
{
    enum class TKind {
        MissingCategory, // an item whose category is not in categories.dat: it is not shown
        DuplicateTitle,  // a second item of the same title in a category: only the first can be opened
        TooShort,        // a line of items.dat without a category and a title
        RefusedText,     // text the editor would not let the user store again
        CutShort,        // a record with a category and a title but fewer fields than an item has
    };
    TKind kind;
    bool inCategories = false; // the line is in categories.dat, else in items.dat
    int line = 0;              // 1-based
    QString text;              // one line for a person to read
};

// `categories` and `items`: the files' lines as read. Findings come in file
// order, categories.dat first.
// `text`: a protected book's records are UTF-8, any character allowed.
QList<TBookFinding> CheckBook(const TStringList &categories, const TStringList &items,
                              TBookText text = TBookText::Ansi);

class TAccountBook;

// What opening a book found that the window cannot show as it stands, told
// to the user once.
struct TLoadDamage
{
    qsizetype cutShort = 0;            // records with fewer fields than an item has
    qsizetype withoutCategory = 0;     // records whose category is not in categories.dat
    QByteArrayList missingCategories;  // those categories, in the order of their first record

    bool Any() const { return cutShort > 0 || withoutCategory > 0; }
    // More of either kind than `told` holds: worth telling again.
    bool Exceeds(const TLoadDamage &told) const
    {
        return cutShort > told.cutShort || withoutCategory > told.withoutCategory;
    }
};

TLoadDamage LoadDamageOf(const TAccountBook &book);

// The message for the user; when categories are missing it ends with the
// question whether to add them (Yes/No), else it only informs (OK).
QString DescribeLoadDamage(const TLoadDamage &damage);

// Adds each missing category the book accepts (one of the same name in
// another case or with other surrounding blanks is refused, as when the user
// adds it); their items show from then on. Returns how many were added. The
// caller saves categories.dat.
int RecreateMissingCategories(TAccountBook &book, const QByteArrayList &names);

// Told after adding the categories when items still show nowhere.
QString DescribeStillWithoutCategory(qsizetype records, const QByteArrayList &names);

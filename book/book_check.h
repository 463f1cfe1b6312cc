#pragma once

#include "util/string_list.h"

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
    };
    TKind kind;
    bool inCategories = false; // the line is in categories.dat, else in items.dat
    int line = 0;              // 1-based
    QString text;              // one line for a person to read
};

// `categories` and `items`: the files' lines as read. Findings come in file
// order, categories.dat first.
QList<TBookFinding> CheckBook(const TStringList &categories, const TStringList &items);

#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class TAtomicWriter;

// Writing the two files of the account book as one change. A command that
// changes both (deleting or renaming a category, an import that adds
// categories, a restore) must never leave new categories beside old items:
// each file is written out in full, categories.dat first, before either
// replaces its old one, and should items.dat then fail to replace its own,
// categories.dat is put back as it was.

// What came of it. After a failure `error` names the file and the system's
// reason, and `unchanged` says whether both files are as they were.
struct TBookWriteResult
{
    QString error;
    bool unchanged = true;

    bool Ok() const { return error.isEmpty(); }
    // For the user: what failed and why, and what state the book is in.
    QString Message() const;
};

// Fills a file of the book.
using TBookFileContent = std::function<void(TAtomicWriter &)>;

// Writes categories.dat and items.dat of `folder` (ending with a separator),
// both or neither. Without `categories` only items.dat is written (atomically,
// as always). Throws nothing for a failed write; it is in the result.
TBookWriteResult WriteBookFiles(const QString &folder, const TBookFileContent &categories,
                                const TBookFileContent &items);
TBookWriteResult WriteBookFiles(const QString &folder, const QByteArray &categories, const QByteArray &items);

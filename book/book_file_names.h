#pragma once

#include <QString>

// The two files of a plain account book in the application folder, and the
// one file of a protected book. Spelt out here alone: the book folder reads
// and writes them, and the updater's list of user files must never ship or
// replace them.
namespace BookFileNames {
inline const QString kCategories = QStringLiteral("categories.dat");
inline const QString kItems = QStringLiteral("items.dat");
inline const QString kProtected = QStringLiteral("book.tarnwick");
} // namespace BookFileNames

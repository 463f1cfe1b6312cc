#pragma once

// The book every benchmark measures, written the way the program stores it,
// so that figures of different benchmarks speak of the same records.

#include "util/text_utils.h"

#include <QByteArray>
#include <QDir>
#include <QSaveFile>
#include <QString>

namespace Bench {

// `items` records spread over `categories` categories, record after record
// (item i belongs to category i mod categories), in `folder`.
inline bool WriteBook(const QString &folder, int items, int categories)
{
    const QDir dir(folder);
    QSaveFile cats(dir.filePath(QStringLiteral("categories.dat")));
    if (!cats.open(QIODevice::WriteOnly))
        return false;
    for (int c = 0; c < categories; ++c)
        cats.write("Category " + QByteArray::number(c) + "\r\n");
    if (!cats.commit())
        return false;

    QSaveFile out(dir.filePath(QStringLiteral("items.dat")));
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const char sep = '\xA5';
    const QByteArray description = EscapeLineBreaks("First line\r\nSecond line");
    QByteArray chunk;
    chunk.reserve(1 << 20);
    for (int i = 0; i < items; ++i) {
        const QByteArray n = QByteArray::number(i);
        chunk += "Category " + QByteArray::number(i % categories) + sep + "Program title " + n + sep
                 + "Affiliate program" + sep + "http://www.example.com/" + sep + "http://www.example.com/login"
                 + sep + "user" + n + sep + "secret" + sep + "http://www.example.com/?aff=123" + sep
                 + "http://ex.am/ple" + sep + "$50" + sep + "15th" + sep + description + sep + "\r\n";
        if (chunk.size() > (1 << 20) - 512) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out.write(chunk) == chunk.size() && out.commit();
}

} // namespace Bench

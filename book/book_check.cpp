#include "book_check.h"

#include "book/input_rules.h"
#include "book/item_record.h"
#include "util/codepage.h"

#include <QHash>
#include <QSet>

QList<TBookFinding> CheckBook(const TStringList &categories, const TStringList &items)
{
    using K = TBookFinding::TKind;
    QList<TBookFinding> found;
    const QSet<QByteArray> known(categories.begin(), categories.end());

    for (qsizetype i = 0; i < categories.size(); ++i) {
        if (const QString why = RefusalForLine(FromAnsi(categories[i])); !why.isEmpty())
            found.append({K::RefusedText, true, int(i + 1),
                          QStringLiteral("category \"%1\": %2").arg(FromAnsi(categories[i]), why)});
    }

    QHash<QPair<QByteArray, QByteArray>, int> firstLine;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const int line = int(i + 1);
        QByteArray category;
        QByteArray title;
        if (!RecordKey(items[i], &category, &title)) {
            found.append({K::TooShort, false, line,
                          QStringLiteral("a record without a category and a title: \"%1\"").arg(FromAnsi(items[i]))});
            continue;
        }
        const QString name = QStringLiteral("\"%1\" in \"%2\"").arg(FromAnsi(title), FromAnsi(category));
        if (!known.contains(category))
            found.append({K::MissingCategory, false, line,
                          QStringLiteral("%1: the category is not in categories.dat").arg(name)});
        const auto key = qMakePair(category, title);
        if (const auto it = firstLine.constFind(key); it != firstLine.constEnd())
            found.append({K::DuplicateTitle, false, line,
                          QStringLiteral("%1: the same title as line %2").arg(name).arg(*it)});
        else
            firstLine.insert(key, line);

        const TItemRecord item = ReadItemRecord(items[i]);
        QByteArray description = item.description;
        description.replace("\r\n", "\n").replace('\r', '\n');
        if (const QString why = RefusalForDescription(FromAnsi(description)); !why.isEmpty())
            found.append({K::RefusedText, false, line, QStringLiteral("%1, description: %2").arg(name, why)});
    }
    return found;
}

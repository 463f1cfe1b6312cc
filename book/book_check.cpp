#include "book_check.h"

#include "book/account_book.h"
#include "book/input_rules.h"
#include "book/item_record.h"
#include "util/codepage.h"

#include <QHash>
#include <QSet>

namespace {

// What the protected book cannot hold: bytes that are no UTF-8 (its marks
// among them, which would split a field), or a NUL.
QString Utf8Refusal(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return QStringLiteral("A field or a name cannot hold a NUL character.");
    if (!QByteArrayView(bytes).isValidUtf8())
        return QStringLiteral("The text is not valid UTF-8.");
    return {};
}

} // namespace

QList<TBookFinding> CheckBook(const TStringList &categories, const TStringList &items, TBookText text)
{
    using K = TBookFinding::TKind;
    const bool utf8 = text == TBookText::Utf8;
    const auto Shown = [text](const QByteArray &bytes) { return DecodeBookText(bytes, text); };
    const auto refusalForLine = [&](const QByteArray &bytes) {
        return utf8 ? Utf8Refusal(bytes) : RefusalForLine(Shown(bytes));
    };
    QList<TBookFinding> found;
    const QSet<QByteArray> known(categories.begin(), categories.end());

    for (qsizetype i = 0; i < categories.size(); ++i) {
        if (const QString why = refusalForLine(categories[i]); !why.isEmpty())
            found.append({K::RefusedText, true, int(i + 1),
                          QStringLiteral("category \"%1\": %2").arg(Shown(categories[i]), why)});
    }

    QHash<QPair<QByteArray, QByteArray>, int> firstLine;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const int line = int(i + 1);
        QByteArray category;
        QByteArray title;
        if (!RecordKey(items[i], &category, &title, text)) {
            found.append({K::TooShort, false, line,
                          QStringLiteral("a record without a category and a title: \"%1\"").arg(Shown(items[i]))});
            continue;
        }
        const QString name = QStringLiteral("\"%1\" in \"%2\"").arg(Shown(title), Shown(category));
        if (!known.contains(category))
            found.append({K::MissingCategory, false, line,
                          QStringLiteral("%1: the category is not in categories.dat").arg(name)});
        const auto key = qMakePair(category, title);
        if (const auto it = firstLine.constFind(key); it != firstLine.constEnd())
            found.append({K::DuplicateTitle, false, line,
                          QStringLiteral("%1: the same title as line %2").arg(name).arg(*it)});
        else
            firstLine.insert(key, line);

        const qsizetype fields =
            RecordFieldCount(items[i].count(FieldDelimiterOf(text)), items[i].constData(), items[i].size(),
                             FieldDelimiterOf(text));
        if (fields < kRecordFieldCount)
            found.append({K::CutShort, false, line,
                          QStringLiteral("%1: the record is cut short after %2 of an item's %3 fields; the others "
                                         "read as empty")
                              .arg(name)
                              .arg(fields)
                              .arg(kRecordFieldCount)});
        const TItemRecord item = ReadItemRecord(items[i], text);
        if (utf8) {
            for (int f = 0; f < kItemFieldCount; ++f)
                if (const QString why = Utf8Refusal(item.fields[f]); !why.isEmpty()) {
                    found.append({K::RefusedText, false, line, QStringLiteral("%1, field %2: %3").arg(name).arg(f + 1).arg(why)});
                    break;
                }
            if (const QString why = Utf8Refusal(item.description); !why.isEmpty())
                found.append({K::RefusedText, false, line, QStringLiteral("%1, description: %2").arg(name, why)});
            continue;
        }
        QByteArray description = item.description;
        description.replace("\r\n", "\n").replace('\r', '\n');
        if (const QString why = RefusalForDescription(Shown(description)); !why.isEmpty())
            found.append({K::RefusedText, false, line, QStringLiteral("%1, description: %2").arg(name, why)});
    }
    return found;
}

namespace {

// Names for a message: quoted, at most five, then how many more.
QString NameList(const QByteArrayList &names)
{
    QStringList quoted;
    for (qsizetype i = 0; i < names.size() && i < 5; ++i)
        quoted << QStringLiteral("\"%1\"").arg(FromAnsi(names[i]));
    if (names.size() > 5)
        quoted << QStringLiteral("and %1 more").arg(names.size() - 5);
    return quoted.join(QStringLiteral(", "));
}

} // namespace

TLoadDamage LoadDamageOf(const TAccountBook &book)
{
    TLoadDamage damage;
    damage.cutShort = book.CutRecordsRead();
    damage.withoutCategory = book.RecordsWithoutCategory(&damage.missingCategories);
    return damage;
}

QString DescribeLoadDamage(const TLoadDamage &damage)
{
    QString text = QStringLiteral("The account book could not be read whole.\n");
    if (damage.cutShort > 0)
        text += QStringLiteral("\n%1 record(s) of items.dat are cut short: they hold fewer fields than an item "
                               "has, and the missing ones (the password, say) read as empty.")
                    .arg(damage.cutShort);
    if (damage.withoutCategory > 0)
        text += QStringLiteral("\n%1 item(s) belong to categories that categories.dat does not hold (%2), so the "
                               "tree shows them nowhere and the search does not find them.")
                    .arg(damage.withoutCategory)
                    .arg(NameList(damage.missingCategories));
    text += QStringLiteral("\n\n\"tarnwick-book check\" lists them by line.");
    if (!damage.missingCategories.isEmpty())
        text += QStringLiteral("\n\nDo you want to add the missing categories to the book, so that their items "
                               "show again? A backup of the book is kept first.");
    return text;
}

int RecreateMissingCategories(TAccountBook &book, const QByteArrayList &names)
{
    int added = 0;
    for (const QByteArray &name : names)
        added += book.AddCategory(name) == TBookOutcome::Done;
    return added;
}

QString DescribeStillWithoutCategory(qsizetype records, const QByteArrayList &names)
{
    return QStringLiteral("%1 item(s) still show nowhere: their category (%2) differs from a category of the book "
                          "only in case or surrounding blanks, so it cannot be added beside it. "
                          "\"tarnwick-book check\" lists them by line.")
        .arg(records)
        .arg(NameList(names));
}

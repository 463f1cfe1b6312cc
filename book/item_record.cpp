#include "item_record.h"

#include "util/text_utils.h"

#include <algorithm>
#include <cstring>

TStringList SplitRecord(const QByteArray &record)
{
    TStringList fields;
    SplitByDelimiter(kFieldDelimiter, record, fields);
    return fields;
}

TItemRecord ReadItemRecord(const QByteArray &record)
{
    TItemRecord item;
    qsizetype start = 0;
    int field = 0;
    for (; field < kItemFieldCount; ++field) {
        const qsizetype at = record.indexOf(kFieldDelimiter, start);
        if (at < 0) {
            // The bytes after the last delimiter form a field when not empty.
            if (start < record.size())
                item.fields[field++] = record.mid(start);
            start = record.size();
            break;
        }
        item.fields[field] = record.mid(start, at - start);
        start = at + 1;
    }
    if (field < kItemFieldCount)
        return item;

    // After field 10: a stored item has its escaped description and one
    // closing delimiter; an added item has exactly three delimiters left. The
    // shapes coincide only for a stored item with nothing after the title but
    // a description of one lone CR, which reads as the added item's empty
    // description.
    QByteArray rest = record.mid(start);
    static const QByteArray kAddedTail("\xA5\xA5\xA5");
    // Only a record whose fields after the title are all empty can be an
    // added item; any other with this tail holds a description of one CR.
    bool blankAfterTitle = true;
    for (int f = 2; f < kItemFieldCount; ++f)
        blankAfterTitle = blankAfterTitle && item.fields[f].isEmpty();
    if (rest == kAddedTail && blankAfterTitle) {
        item.complete = true;
        return item;
    }
    if (rest.endsWith(kFieldDelimiter)) {
        rest.chop(1);
        item.complete = true;
    }
    item.description = UnescapeLineBreaks(rest);
    return item;
}

bool RecordKey(const QByteArray &record, QByteArray *category, QByteArray *title)
{
    const qsizetype a = record.indexOf(kFieldDelimiter);
    if (a < 0)
        return false;
    qsizetype b = record.indexOf(kFieldDelimiter, a + 1);
    if (b < 0) {
        if (a + 1 >= record.size())
            return false;
        b = record.size();
    }
    if (category)
        *category = record.left(a);
    if (title)
        *title = record.mid(a + 1, b - a - 1);
    return true;
}

bool RecordIs(const QByteArray &record, const QByteArray &category, const QByteArray &title)
{
    // A name holding the delimiter can never equal a field.
    if (category.contains(kFieldDelimiter) || title.contains(kFieldDelimiter))
        return false;
    const qsizetype c = category.size();
    const qsizetype t = title.size();
    if (record.size() < c + 1 + t)
        return false;
    const char *d = record.constData();
    if (d[c] != kFieldDelimiter || std::memcmp(d, category.constData(), c) != 0)
        return false;
    if (std::memcmp(d + c + 1, title.constData(), t) != 0)
        return false;
    // The title field ends at a delimiter or at the end of the record; an
    // empty title needs its delimiter, or the record has only one field.
    if (record.size() == c + 1 + t)
        return t > 0;
    return d[c + 1 + t] == kFieldDelimiter;
}

QByteArray BuildStoredRecord(const QByteArray &category, const std::array<QByteArray, 10> &fields1to10,
                             const QByteArray &description)
{
    QByteArray out = category;
    out.append(kFieldDelimiter);
    for (const QByteArray &f : fields1to10) {
        out.append(f);
        out.append(kFieldDelimiter);
    }
    out.append(EscapeLineBreaks(description));
    out.append(kFieldDelimiter);
    return out;
}

QByteArray BuildNewItemRecord(const QByteArray &category, const QByteArray &title)
{
    QByteArray out = category;
    out.append(kFieldDelimiter);
    out.append(title);
    out.append(QByteArray(13, kFieldDelimiter));
    return out;
}

std::array<QByteArray, kItemFieldCount - 1> TItemRecord::FieldsAfterCategory() const
{
    std::array<QByteArray, kItemFieldCount - 1> out;
    std::copy(fields.begin() + 1, fields.end(), out.begin());
    return out;
}

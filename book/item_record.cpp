#include "item_record.h"

#include "util/codepage.h"
#include "util/text_utils.h"

#include <algorithm>
#include <cstring>

QByteArray EscapeDescription(const QByteArray &description, TBookText text)
{
    if (text == TBookText::Ansi)
        return EscapeLineBreaks(description);
    QByteArray out = description;
    for (char &c : out)
        if (c == '\r')
            c = '\xFE';
        else if (c == '\n')
            c = '\xFD';
    return out;
}

QByteArray UnescapeDescription(const QByteArray &escaped, TBookText text)
{
    if (text == TBookText::Ansi)
        return UnescapeLineBreaks(escaped);
    QByteArray out = escaped;
    for (char &c : out)
        if (c == '\xFE')
            c = '\r';
        else if (c == '\xFD')
            c = '\n';
    return out;
}

QString DecodeBookText(const QByteArray &bytes, TBookText text)
{
    return text == TBookText::Utf8 ? FromUtf8(bytes) : FromAnsi(bytes);
}

QByteArray EncodeBookText(const QString &shown, TBookText text, bool *lossless)
{
    if (text == TBookText::Ansi)
        return ToAnsi(shown, lossless);
    if (lossless)
        *lossless = true;
    return shown.toUtf8();
}

TStringList SplitRecord(const QByteArray &record, TBookText text)
{
    TStringList fields;
    SplitByDelimiter(FieldDelimiterOf(text), record, fields);
    return fields;
}

TItemRecord ReadItemRecord(const QByteArray &record, TBookText text)
{
    const char delimiter = FieldDelimiterOf(text);
    TItemRecord item;
    qsizetype start = 0;
    int field = 0;
    for (; field < kItemFieldCount; ++field) {
        const qsizetype at = record.indexOf(delimiter, start);
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
    const QByteArray addedTail(3, delimiter);
    // Only a record whose fields after the title are all empty can be an
    // added item; any other with this tail holds a description of one CR.
    bool blankAfterTitle = true;
    for (int f = 2; f < kItemFieldCount; ++f)
        blankAfterTitle = blankAfterTitle && item.fields[f].isEmpty();
    if (rest == addedTail && blankAfterTitle) {
        item.complete = true;
        return item;
    }
    if (rest.endsWith(delimiter)) {
        rest.chop(1);
        item.complete = true;
    }
    item.description = UnescapeDescription(rest, text);
    return item;
}

bool RecordKey(const QByteArray &record, QByteArray *category, QByteArray *title, TBookText text)
{
    const char delimiter = FieldDelimiterOf(text);
    const qsizetype a = record.indexOf(delimiter);
    if (a < 0)
        return false;
    qsizetype b = record.indexOf(delimiter, a + 1);
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

bool RecordIs(const QByteArray &record, const QByteArray &category, const QByteArray &title, TBookText text)
{
    const char delimiter = FieldDelimiterOf(text);
    // A name holding the delimiter can never equal a field.
    if (category.contains(delimiter) || title.contains(delimiter))
        return false;
    const qsizetype c = category.size();
    const qsizetype t = title.size();
    if (record.size() < c + 1 + t)
        return false;
    const char *d = record.constData();
    if (d[c] != delimiter || std::memcmp(d, category.constData(), c) != 0)
        return false;
    if (std::memcmp(d + c + 1, title.constData(), t) != 0)
        return false;
    // The title field ends at a delimiter or at the end of the record; an
    // empty title needs its delimiter, or the record has only one field.
    if (record.size() == c + 1 + t)
        return t > 0;
    return d[c + 1 + t] == delimiter;
}

QByteArray BuildStoredRecord(const QByteArray &category, const std::array<QByteArray, 10> &fields1to10,
                             const QByteArray &description, TBookText text)
{
    const char delimiter = FieldDelimiterOf(text);
    const QByteArray escaped = EscapeDescription(description, text);
    // Sized once: a record starting as a copy of the shared category name
    // would grow by doubling and keep the spare room for as long as the book
    // holds it.
    qsizetype size = category.size() + escaped.size() + 12;
    for (const QByteArray &f : fields1to10)
        size += f.size();
    QByteArray out;
    out.reserve(size);
    out.append(category);
    out.append(delimiter);
    for (const QByteArray &f : fields1to10) {
        out.append(f);
        out.append(delimiter);
    }
    out.append(escaped);
    out.append(delimiter);
    return out;
}

QByteArray BuildNewItemRecord(const QByteArray &category, const QByteArray &title, TBookText text)
{
    const char delimiter = FieldDelimiterOf(text);
    QByteArray out;
    out.reserve(category.size() + title.size() + 14);
    out.append(category);
    out.append(delimiter);
    out.append(title);
    out.append(13, delimiter);
    return out;
}

std::array<QByteArray, kItemFieldCount - 1> TItemRecord::FieldsAfterCategory() const
{
    std::array<QByteArray, kItemFieldCount - 1> out;
    std::copy(fields.begin() + 1, fields.end(), out.begin());
    return out;
}

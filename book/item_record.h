#pragma once

#include "util/string_list.h"

#include <QByteArray>
#include <array>

// One line of items.dat: fields each followed by the delimiter byte 0xA5.
// Fields 0 to 10 are plain; the escaped description follows field 10.
constexpr char kFieldDelimiter = '\xA5';
constexpr int kItemFieldCount = 11; // category, title and nine more before the description

struct TItemRecord
{
    std::array<QByteArray, kItemFieldCount> fields; // 0 = category, 1 = title, ... 10 = payment day
    QByteArray description;                         // line breaks restored
    bool complete = false; // the record supplied all eleven fields and a description
};

// The fields an item has: the eleven and the description.
constexpr int kRecordFieldCount = kItemFieldCount + 1;

// How many fields a record holds, told from its delimiter count and last
// byte alone: each delimiter ends one, and bytes after the last delimiter are
// one more (a description whose closing delimiter is missing, say). A record
// with fewer than kRecordFieldCount was cut short. Loading counts the
// delimiters while it finds the lines, so no record is looked at twice.
inline qsizetype RecordFieldCount(qsizetype delimiters, const char *data, qsizetype size)
{
    return delimiters + (size > 0 && data[size - 1] != kFieldDelimiter ? 1 : 0);
}

// The record's pieces split at 0xA5.
TStringList SplitRecord(const QByteArray &record);

// Reads a record of either shape the program writes: a stored item (eleven
// fields, the escaped description, one closing 0xA5) or a freshly added item
// (category, title, thirteen 0xA5). Missing fields read as empty.
TItemRecord ReadItemRecord(const QByteArray &record);

// True when field 0 equals `category` and field 1 equals `title`, byte for
// byte; cheaper than splitting the whole record.
bool RecordIs(const QByteArray &record, const QByteArray &category, const QByteArray &title);

// Field 0 and field 1 without splitting the rest; false when the record has
// fewer than two fields.
bool RecordKey(const QByteArray &record, QByteArray *category, QByteArray *title);

// The record of a stored item: the category, fields 1..10 and the escaped
// description, each followed by 0xA5.
QByteArray BuildStoredRecord(const QByteArray &category, const std::array<QByteArray, 10> &fields1to10,
                             const QByteArray &description);

// The record of a freshly added item: the category, 0xA5, the title and
// thirteen 0xA5 bytes.
QByteArray BuildNewItemRecord(const QByteArray &category, const QByteArray &title);

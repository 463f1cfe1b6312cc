#pragma once

#include "util/string_list.h"

#include <QByteArray>
#include <array>

// One line of items.dat: fields each followed by the delimiter byte 0xA5.
// Fields 0 to 10 are plain; the escaped description follows field 10.
constexpr char kFieldDelimiter = '\xA5';
constexpr int kItemFieldCount = 11; // category, title and nine more before the description

// The fields of a record by name, in the order items.dat holds them.
enum class TItemField {
    Category,
    Title,
    Program,
    WebsiteURL,
    LoginURL,
    Login,
    Password,
    AffiliateURL,
    Cloaked,
    Payout,
    PaymentDay,
};

struct TItemRecord
{
    std::array<QByteArray, kItemFieldCount> fields; // by TItemField
    QByteArray description;                         // line breaks restored
    bool complete = false; // the record supplied all eleven fields and a description

    QByteArray &Field(TItemField f) { return fields[size_t(f)]; }
    const QByteArray &Field(TItemField f) const { return fields[size_t(f)]; }
    QByteArray &Category() { return Field(TItemField::Category); }
    const QByteArray &Category() const { return Field(TItemField::Category); }
    QByteArray &Title() { return Field(TItemField::Title); }
    const QByteArray &Title() const { return Field(TItemField::Title); }
    QByteArray &WebsiteURL() { return Field(TItemField::WebsiteURL); }
    const QByteArray &WebsiteURL() const { return Field(TItemField::WebsiteURL); }
    QByteArray &LoginURL() { return Field(TItemField::LoginURL); }
    const QByteArray &LoginURL() const { return Field(TItemField::LoginURL); }
    QByteArray &Login() { return Field(TItemField::Login); }
    const QByteArray &Login() const { return Field(TItemField::Login); }
    QByteArray &Password() { return Field(TItemField::Password); }
    const QByteArray &Password() const { return Field(TItemField::Password); }
    // Fields 1 to 10, as a stored record holds them after its category.
    std::array<QByteArray, kItemFieldCount - 1> FieldsAfterCategory() const;
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

#pragma once

#include "book/item_record.h"
#include "book/protected_file.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class TAccountBook;
class TBookFolder;

// Turning a folder's book from plain to protected and back, and giving it a
// new master password: plain functions the window and tarnwick-book call
// after asking what they must ask. Each writes the new form, reads it back
// and compares every category and record with the book as it was before it
// takes the folder over; a failure leaves the folder as it was.

// The record spelt as `to` spells it. Its shape stays: a record cut short
// keeps the fields it has, a complete one its fields and description. Going
// to the plain spelling, a character Windows-1252 cannot hold, the field
// delimiter "¥" in a field, and "¥" or "§" in a description that would read
// back as a line break become "?"; *lossless (when given) tells whether that
// happened.
QByteArray ConvertRecord(const QByteArray &record, TBookText from, TBookText to, bool *lossless = nullptr);
QByteArray ConvertCategory(const QByteArray &name, TBookText from, TBookText to, bool *lossless = nullptr);

// Empty when the two books hold the same categories in the same order and
// the same records, field by field as text; else the first difference. With
// `converted`, `before` counts as it reads spelt as `after` spells its text.
QString CompareBooks(const TAccountBook &before, const TAccountBook &after, bool converted = false);

// Text of a protected book the plain files cannot hold.
struct TUnstorable
{
    qsizetype record = -1; // -1: a category name
    QString category;
    QString title;
    QString field;   // "Category", "Title", "Username", "Description", ...
    QString problem; // why the plain book cannot hold it
};
QList<TUnstorable> FindUnstorable(const TAccountBook &book);
// "Shops / Mail, Password: The character "€" ..." for lists.
QString DescribeUnstorable(const TUnstorable &u);

struct TProtection
{
    QString error;         // nothing changed when set
    QStringList removable; // files that may go now, once the user agreed
};

// A plain folder, its book loaded, becomes protected under `password` with
// the given key derivation. `removable`: categories.dat, items.dat and the
// plain backups, which still hold every password in clear text.
TProtection ProtectBook(TBookFolder &folder, const QByteArray &password, const TKdfParameters &kdf);
// A protected folder, unlocked, gets a new master password; the old one is
// asked again first and must open book.tarnwick. A backup is kept before.
// `removable`: the backups kept under an earlier password.
TProtection ChangeMasterPassword(TBookFolder &folder, const QByteArray &oldPassword, const QByteArray &newPassword,
                                 const TKdfParameters &kdf);
// A protected folder, unlocked, becomes plain again. Refused while the book
// holds text FindUnstorable lists, unless `replaceUnstorable` (the user
// confirmed each "?"). book.tarnwick goes once the plain files read back as
// the book; `removable`: its encrypted backups.
TProtection UnprotectBook(TBookFolder &folder, bool replaceUnstorable);
// Removes the files; empty when all went, else the first that did not.
QString RemoveFiles(const QStringList &paths);

// How strong a new master password looks, in a line for the window's hint:
// an estimate from its length and the kinds of characters in it (a word of
// 8 lower-case letters is weak, a sentence of five words strong). Empty for
// an empty password.
enum class TPasswordStrength { Empty, Weak, Fair, Strong };
TPasswordStrength JudgePassword(const QString &password);
QString PasswordHint(const QString &password);

// A folder where the program starts for the first time: no book file of
// either kind. Only there is protecting the new book offered unasked.
bool HasNoBook(const QString &folder);

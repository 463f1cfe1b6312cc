#include "protected_book.h"

#include "book/account_book.h"
#include "book/book_files.h"
#include "book/book_folder.h"
#include "book/input_rules.h"
#include "util/atomic_writer.h"
#include "util/codepage.h"
#include "util/text_utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cmath>

namespace {

const QStringList &FieldNames()
{
    static const QStringList names = {
        QStringLiteral("Category"),  QStringLiteral("Title"),         QStringLiteral("Program"),
        QStringLiteral("Website"),   QStringLiteral("Login URL"),     QStringLiteral("Username"),
        QStringLiteral("Password"),  QStringLiteral("Affiliate URL"), QStringLiteral("Cloaked URL"),
        QStringLiteral("Payout"),    QStringLiteral("Payment day"),   QStringLiteral("Description"),
    };
    return names;
}

// A field or name in the plain spelling: what the code page cannot hold and
// the delimiter become "?".
QByteArray ToPlainLine(const QString &text, bool *lossless)
{
    bool ok = true;
    QByteArray bytes = ToAnsi(text, &ok);
    if (bytes.contains(kFieldDelimiter)) {
        bytes.replace(kFieldDelimiter, '?');
        ok = false;
    }
    if (!ok && lossless)
        *lossless = false;
    return bytes;
}

QByteArray ToPlainDescription(const QString &text, bool *lossless)
{
    bool ok = true;
    QByteArray bytes = ToAnsi(text, &ok);
    if (UnescapeLineBreaks(EscapeLineBreaks(bytes)) != bytes) {
        bytes.replace('\xA5', '?').replace('\xA7', '?');
        ok = false;
    }
    if (!ok && lossless)
        *lossless = false;
    return bytes;
}

QByteArray ConvertLine(const QByteArray &bytes, TBookText from, TBookText to, bool *lossless)
{
    if (from == to)
        return bytes;
    const QString text = DecodeBookText(bytes, from);
    return to == TBookText::Utf8 ? text.toUtf8() : ToPlainLine(text, lossless);
}

bool SameItem(const TItemRecord &a, TBookText aText, const TItemRecord &b, TBookText bText)
{
    if (a.complete != b.complete)
        return false;
    for (int f = 0; f < kItemFieldCount; ++f)
        if (DecodeBookText(a.fields[f], aText) != DecodeBookText(b.fields[f], bText))
            return false;
    return DecodeBookText(a.description, aText) == DecodeBookText(b.description, bText);
}

QStringList PlainBackups(const QString &folder)
{
    QStringList files;
    const QString backups = folder + QStringLiteral("backups/");
    const QStringList names = QDir(backups).entryList(
        {QStringLiteral("*-") + TBookFolder::kCategoriesFile, QStringLiteral("*-") + TBookFolder::kItemsFile},
        QDir::Files, QDir::Name);
    for (const QString &name : names)
        files << backups + name;
    return files;
}

QStringList ProtectedBackups(const QString &folder)
{
    QStringList files;
    const QString backups = folder + QStringLiteral("backups/");
    for (const QString &name :
         QDir(backups).entryList({QStringLiteral("*-") + TBookFolder::kProtectedFile}, QDir::Files, QDir::Name))
        files << backups + name;
    return files;
}

// Empty when the folder's protected file, read into a book of its own with
// `key`, holds `book`; else what differs.
QString ReadsBackAs(const QString &folder, const TBookKeyPtr &key, const TAccountBook &book)
{
    TBookFolder check(folder);
    if (QString error = check.AdoptProtected(key); !error.isEmpty())
        return error;
    return CompareBooks(book, check.Book());
}

} // namespace

QByteArray ConvertCategory(const QByteArray &name, TBookText from, TBookText to, bool *lossless)
{
    return ConvertLine(name, from, to, lossless);
}

QByteArray ConvertRecord(const QByteArray &record, TBookText from, TBookText to, bool *lossless)
{
    if (from == to)
        return record;
    const TItemRecord item = ReadItemRecord(record, from);
    if (item.complete) {
        std::array<QByteArray, 10> rest;
        for (int f = 1; f < kItemFieldCount; ++f)
            rest[size_t(f - 1)] = ConvertLine(item.fields[f], from, to, lossless);
        const QString description = DecodeBookText(item.description, from);
        return BuildStoredRecord(ConvertLine(item.Category(), from, to, lossless), rest,
                                 to == TBookText::Utf8 ? description.toUtf8() : ToPlainDescription(description, lossless),
                                 to);
    }
    // Cut short: each piece between delimiters as it stands, so the record
    // keeps exactly the fields it had.
    const char fromDelimiter = FieldDelimiterOf(from);
    QByteArray out;
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = record.indexOf(fromDelimiter, start);
        out += ConvertLine(record.mid(start, at < 0 ? -1 : at - start), from, to, lossless);
        if (at < 0)
            break;
        out += FieldDelimiterOf(to);
        start = at + 1;
    }
    return out;
}

QString CompareBooks(const TAccountBook &before, const TAccountBook &after, bool converted)
{
    // With `converted`, `before` is compared as it reads once spelt as
    // `after` spells its text, its "?" for what that spelling cannot hold.
    const auto name = [&](int c) {
        const QByteArray bytes = converted ? ConvertCategory(before.CategoryName(c), before.Text(), after.Text())
                                           : before.CategoryName(c);
        return DecodeBookText(bytes, converted ? after.Text() : before.Text());
    };
    const auto item = [&](qsizetype r) {
        return converted ? ReadItemRecord(ConvertRecord(before.Record(r), before.Text(), after.Text()), after.Text())
                         : before.ReadItem(r);
    };
    const TBookText beforeText = converted ? after.Text() : before.Text();
    if (before.CategoryCount() != after.CategoryCount())
        return QStringLiteral("The book read back has %1 categories instead of %2.")
            .arg(after.CategoryCount())
            .arg(before.CategoryCount());
    for (int c = 0; c < before.CategoryCount(); ++c)
        if (name(c) != DecodeBookText(after.CategoryName(c), after.Text()))
            return QStringLiteral("Category %1 reads back as \"%2\".")
                .arg(c + 1)
                .arg(DecodeBookText(after.CategoryName(c), after.Text()));
    // Empty lines hold nothing; a book written anew drops none, but compare
    // the records that hold something.
    QList<qsizetype> a, b;
    for (qsizetype r = 0; r < before.RecordCount(); ++r)
        if (!before.Record(r).isEmpty())
            a << r;
    for (qsizetype r = 0; r < after.RecordCount(); ++r)
        if (!after.Record(r).isEmpty())
            b << r;
    if (a.size() != b.size())
        return QStringLiteral("The book read back has %1 items instead of %2.").arg(b.size()).arg(a.size());
    for (qsizetype i = 0; i < a.size(); ++i)
        if (!SameItem(item(a[i]), beforeText, after.ReadItem(b[i]), after.Text()))
            return QStringLiteral("Item %1 reads back otherwise.").arg(i + 1);
    return {};
}

QList<TUnstorable> FindUnstorable(const TAccountBook &book)
{
    QList<TUnstorable> found;
    if (book.Text() == TBookText::Ansi)
        return found;
    for (int c = 0; c < book.CategoryCount(); ++c) {
        const QString name = DecodeBookText(book.CategoryName(c), book.Text());
        if (const QString why = RefusalForLine(name); !why.isEmpty())
            found.append({-1, name, {}, FieldNames()[0], why});
    }
    for (qsizetype r = 0; r < book.RecordCount(); ++r) {
        const TItemRecord item = book.ReadItem(r);
        const QString category = DecodeBookText(item.Category(), book.Text());
        const QString title = DecodeBookText(item.Title(), book.Text());
        for (int f = 0; f <= kItemFieldCount; ++f) {
            const QString text = DecodeBookText(f < kItemFieldCount ? item.fields[f] : item.description, book.Text());
            const QString why = f < kItemFieldCount ? RefusalForLine(text) : RefusalForDescription(text);
            if (!why.isEmpty())
                found.append({r, category, title, FieldNames()[f], why});
        }
    }
    return found;
}

QString DescribeUnstorable(const TUnstorable &u)
{
    if (u.record < 0)
        return QStringLiteral("Category \"%1\": %2").arg(u.category, u.problem);
    return QStringLiteral("%1 / %2, %3: %4").arg(u.category, u.title, u.field, u.problem);
}

TProtection ProtectBook(TBookFolder &folder, const QByteArray &password, const TKdfParameters &kdf)
{
    TProtection result;
    if (folder.IsProtected() || QFileInfo::exists(folder.ProtectedPath())) {
        result.error = QStringLiteral("The account book is protected already.");
        return result;
    }
    if (password.isEmpty()) {
        result.error = QStringLiteral("The master password cannot be empty.");
        return result;
    }
    const TAccountBook &book = folder.Book();
    TBookKeyPtr key;
    try {
        key = TBookKey::Make(password, kdf);
    } catch (const EFileError &e) {
        result.error = e.message();
        return result;
    }
    QByteArray categories;
    for (int c = 0; c < book.CategoryCount(); ++c)
        categories += ConvertCategory(book.CategoryName(c), TBookText::Ansi, TBookText::Utf8) + "\r\n";
    result.error = folder.WriteProtected(key, categories, [&book](const std::function<void(const char *, qsizetype)> &out) {
        for (qsizetype r = 0; r < book.RecordCount(); ++r) {
            const QByteArray record = ConvertRecord(book.Record(r), TBookText::Ansi, TBookText::Utf8);
            out(record.constData(), record.size());
            out("\r\n", 2);
        }
    });
    if (!result.error.isEmpty()) {
        QFile::remove(folder.ProtectedPath());
        return result;
    }
    result.error = ReadsBackAs(folder.Folder(), key, book);
    if (!result.error.isEmpty()) {
        QFile::remove(folder.ProtectedPath());
        result.error = QStringLiteral("The protected book did not read back as the book: %1 The book stays as it was.")
                           .arg(result.error);
        return result;
    }
    if (QString error = folder.AdoptProtected(key); !error.isEmpty()) {
        result.error = error;
        return result;
    }
    for (const QString &path : {folder.CategoriesPath(), folder.ItemsPath()})
        if (QFileInfo::exists(path))
            result.removable << path;
    result.removable << PlainBackups(folder.Folder());
    return result;
}

TProtection ChangeMasterPassword(TBookFolder &folder, const QByteArray &oldPassword, const QByteArray &newPassword,
                                 const TKdfParameters &kdf)
{
    TProtection result;
    if (folder.IsLocked() || !folder.IsProtected()) {
        result.error = QStringLiteral("The account book is not unlocked.");
        return result;
    }
    if (newPassword.isEmpty()) {
        result.error = QStringLiteral("The master password cannot be empty.");
        return result;
    }
    // The old password once more: whoever sits at an unlocked window must
    // not be able to take the book over.
    {
        QFile file(folder.ProtectedPath());
        try {
            if (!file.open(QIODevice::ReadOnly))
                throw EFileError(file.errorString());
            ReadProtectedFile(file, folder.ProtectedPath(), oldPassword);
        } catch (const EFileError &e) {
            result.error = e.message();
            return result;
        }
    }
    TBookKeyPtr key;
    try {
        key = TBookKey::Make(newPassword, kdf);
    } catch (const EFileError &e) {
        result.error = e.message();
        return result;
    }
    const TAccountBook &book = folder.Book();
    // The book under the old key stays as a backup, as before any command
    // that changes much; without it nothing is changed.
    if (const TBookBackupStep kept = folder.BackupNow(); kept.failed) {
        result.error = kept.error;
        return result;
    }
    result.error = folder.WriteProtected(key, book.CategoryBytes(), [&book](const std::function<void(const char *, qsizetype)> &out) {
        book.WriteItemsTo(out);
    });
    if (!result.error.isEmpty())
        return result;
    result.error = ReadsBackAs(folder.Folder(), key, book);
    if (!result.error.isEmpty()) {
        // Put the book back under the key still held.
        folder.SaveBook(true);
        return result;
    }
    if (QString error = folder.AdoptProtected(key); !error.isEmpty()) {
        result.error = error;
        return result;
    }
    result.removable = ProtectedBackups(folder.Folder());
    return result;
}

TProtection UnprotectBook(TBookFolder &folder, bool replaceUnstorable)
{
    TProtection result;
    if (folder.IsLocked() || !folder.IsProtected()) {
        result.error = QStringLiteral("The account book is not unlocked.");
        return result;
    }
    const TAccountBook &book = folder.Book();
    const QList<TUnstorable> unstorable = FindUnstorable(book);
    if (!unstorable.isEmpty() && !replaceUnstorable) {
        result.error = QStringLiteral("%1 text(s) of the book cannot be kept in the plain files; nothing was written.")
                           .arg(unstorable.size());
        return result;
    }
    QByteArray categories;
    for (int c = 0; c < book.CategoryCount(); ++c)
        categories += ConvertCategory(book.CategoryName(c), TBookText::Utf8, TBookText::Ansi) + "\r\n";
    // The encrypted file as it stands is a backup first.
    if (const TBookBackupStep kept = folder.BackupNow(); kept.failed) {
        result.error = kept.error;
        return result;
    }
    const TBookWriteResult written = WriteBookFiles(
        folder.Folder(), [&](TAtomicWriter &out) { out.Write(categories); },
        [&](TAtomicWriter &out) {
            for (qsizetype r = 0; r < book.RecordCount(); ++r) {
                out.Write(ConvertRecord(book.Record(r), TBookText::Utf8, TBookText::Ansi));
                out.Write("\r\n", 2);
            }
        });
    if (!written.Ok()) {
        result.error = written.Message();
        return result;
    }
    {
        TBookFolder check(folder.Folder());
        result.error = check.AdoptPlain();
        if (result.error.isEmpty())
            result.error = CompareBooks(book, check.Book(), true);
    }
    if (!result.error.isEmpty()) {
        result.error = QStringLiteral("The plain files did not read back as the book: %1 The protected book stays.")
                           .arg(result.error);
        return result;
    }
    if (!QFile::remove(folder.ProtectedPath())) {
        result.error = QStringLiteral("Cannot remove file \"%1\"; the book stays protected.")
                           .arg(QDir::toNativeSeparators(folder.ProtectedPath()));
        return result;
    }
    if (QString error = folder.AdoptPlain(); !error.isEmpty()) {
        result.error = error;
        return result;
    }
    result.removable = ProtectedBackups(folder.Folder());
    return result;
}

QString RemoveFiles(const QStringList &paths)
{
    for (const QString &path : paths)
        if (QFileInfo::exists(path) && !QFile::remove(path))
            return QStringLiteral("Cannot remove file \"%1\".").arg(QDir::toNativeSeparators(path));
    return {};
}

TPasswordStrength JudgePassword(const QString &password)
{
    if (password.isEmpty())
        return TPasswordStrength::Empty;
    // Bits as if each character were drawn at random from the kinds it
    // uses; a guesser's word lists make real passwords weaker, so the bar is
    // high.
    bool lower = false, upper = false, digit = false, other = false, beyondAscii = false;
    QSet<uint> distinct;
    const QList<uint> points = password.toUcs4();
    for (uint c : points) {
        distinct.insert(c);
        if (c >= 'a' && c <= 'z')
            lower = true;
        else if (c >= 'A' && c <= 'Z')
            upper = true;
        else if (c >= '0' && c <= '9')
            digit = true;
        else if (c < 0x80)
            other = true;
        else
            beyondAscii = true;
    }
    const int pool = (lower ? 26 : 0) + (upper ? 26 : 0) + (digit ? 10 : 0) + (other ? 33 : 0) + (beyondAscii ? 100 : 0);
    // A character repeated adds little.
    const double length = std::min<double>(points.size(), distinct.size() * 2.0);
    const double bits = length * std::log2(std::max(pool, 2));
    if (bits < 50)
        return TPasswordStrength::Weak;
    if (bits < 75)
        return TPasswordStrength::Fair;
    return TPasswordStrength::Strong;
}

QString PasswordHint(const QString &password)
{
    switch (JudgePassword(password)) {
    case TPasswordStrength::Empty:
        return {};
    case TPasswordStrength::Weak:
        return QStringLiteral("Weak: anyone with the file could guess it. Use a longer password or a few words.");
    case TPasswordStrength::Fair:
        return QStringLiteral("Fair: a few more characters or another word make it strong.");
    case TPasswordStrength::Strong:
        return QStringLiteral("Strong.");
    }
    return {};
}

bool HasNoBook(const QString &folder)
{
    const QString base = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QString &name : {TBookFolder::kCategoriesFile, TBookFolder::kItemsFile, TBookFolder::kProtectedFile})
        if (QFileInfo::exists(base + name))
            return false;
    return true;
}

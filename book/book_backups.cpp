#include "book_backups.h"

#include "book_files.h"
#include "book/book_folder.h"
#include "book/item_record.h"
#include "util/errors.h"
#include "util/private_files.h"
#include "util/string_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

const QString TBookBackups::kFolderName = QStringLiteral("backups");

namespace {

// A backup holds each file of the book under its own name.
const QString &kCategoriesFile = TBookFolder::kCategoriesFile;
const QString &kItemsFile = TBookFolder::kItemsFile;

const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");

// A stamp, a dash and the book file's name: "20261209-142501-007-items.dat".
QRegularExpression MemberPattern(const QStringList &members)
{
    QStringList names;
    for (const QString &m : members)
        names << QRegularExpression::escape(m);
    return QRegularExpression(QStringLiteral("^(\\d{8}-\\d{6}-\\d{3})-(%1)$").arg(names.join(u'|')));
}

QDateTime StampTime(const QString &stamp)
{
    QDateTime t = QDateTime::fromString(stamp, kStampFormat);
    t.setTimeSpec(Qt::UTC);
    return t;
}

// A missing file reads as an empty one: both mean an empty list.
QByteArray ReadOrEmpty(const QString &path)
{
    QFile f(path);
    if (!f.exists())
        return {};
    if (!f.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), f.errorString()));
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("Cannot read file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), f.errorString()));
    return bytes;
}

// An item by its category and title (the record up to its second 0xA5);
// a record too short to have both, by its whole line.
QByteArray ItemKey(const QByteArray &record, char delimiter)
{
    const qsizetype first = record.indexOf(delimiter);
    const qsizetype second = first < 0 ? -1 : record.indexOf(delimiter, first + 1);
    // A copy of its own: `record` may be a view of memory soon wiped.
    return QByteArray(record.constData(), second < 0 ? record.size() : second);
}

} // namespace

TBookContents::TBookContents(const QByteArray &categories, const QByteArray &items, char delimiter)
    : m_delimiter(delimiter)
{
    for (const QByteArray &name : SplitLines(categories))
        m_categories.insert(name);
    // Views, not copies: a protected book's records stay in secure memory.
    ForEachLine(items, [&](qsizetype start, qsizetype length) {
        if (length > 0)
            m_items.insert(ItemKey(QByteArray::fromRawData(items.constData() + start, length), m_delimiter));
    });
}

TBookDifference TBookContents::Lacks(const QByteArray &categories, const QByteArray &items) const
{
    // Every line counts, as in the backup's own numbers: a name or an item
    // held twice comes back twice.
    TBookDifference d;
    for (const QByteArray &name : SplitLines(categories))
        if (!m_categories.contains(name))
            ++d.categories;
    ForEachLine(items, [&](qsizetype start, qsizetype length) {
        if (length > 0 && !m_items.contains(ItemKey(QByteArray::fromRawData(items.constData() + start, length), m_delimiter)))
            ++d.items;
    });
    return d;
}

QString DescribeDifference(const TBookDifference &difference)
{
    QStringList parts;
    if (difference.categories > 0)
        parts << QStringLiteral("+%1 categor%2").arg(difference.categories)
                     .arg(difference.categories == 1 ? QStringLiteral("y") : QStringLiteral("ies"));
    if (difference.items > 0)
        parts << QStringLiteral("+%1 item%2").arg(difference.items)
                     .arg(difference.items == 1 ? QString() : QStringLiteral("s"));
    return parts.isEmpty() ? QStringLiteral("nothing") : parts.join(QStringLiteral(", "));
}

TBookBackups::TBookBackups(const QString &appFolder, Clock clock)
    : m_members{kItemsFile, kCategoriesFile}, m_appFolder(appFolder), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTimeUtc(); };
}

TBookBackups TBookBackups::Protected(const QString &appFolder, TReader reader, Clock clock)
{
    TBookBackups backups(appFolder, std::move(clock));
    backups.m_members = {TBookFolder::kProtectedFile};
    backups.m_reader = std::move(reader);
    return backups;
}

std::shared_ptr<const void> TBookBackups::Contents(const QList<QByteArray> &files, QByteArray *categories,
                                                   QByteArray *items) const
{
    if (m_reader) {
        categories->clear();
        items->clear();
        return files[0].isEmpty() ? nullptr : m_reader(files[0], categories, items);
    }
    *items = files[0];
    *categories = files[1];
    return nullptr;
}

QString TBookBackups::MemberPath(const QString &stamp, const QString &file) const
{
    return Folder() + stamp + QLatin1Char('-') + file;
}

QStringList TBookBackups::Stamps() const
{
    QStringList stamps;
    const QStringList names = QDir(Folder()).entryList(QDir::Files, QDir::Name);
    const QRegularExpression pattern = MemberPattern(m_members);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (m.hasMatch() && (stamps.isEmpty() || stamps.last() != m.captured(1)))
            stamps.append(m.captured(1));
    }
    return stamps;
}

TBookBackups::TOutcome TBookBackups::BeforeReplace()
{
    return Keep(true);
}

TBookBackups::TOutcome TBookBackups::KeepNow()
{
    return Keep(false);
}

TBookBackups::TOutcome TBookBackups::Keep(bool spaced, const QString &spare)
{
    m_error.clear();
    const QDateTime now = m_clock().toUTC();
    QStringList stamps = Stamps();
    if (spaced && !stamps.isEmpty()) {
        // A clock set back leaves the newest backup in the future: no new one
        // until the clock has passed it, so names keep sorting by time.
        const QDateTime newest = StampTime(stamps.last());
        if (newest.isValid() && newest.secsTo(now) < kSpacingSeconds)
            return TOutcome::NotNeeded;
    }
    try {
        QList<QByteArray> files;
        bool any = false;
        for (const QString &member : std::as_const(m_members)) {
            files << ReadOrEmpty(m_appFolder + member);
            any = any || QFileInfo::exists(m_appFolder + member);
        }
        if (!any)
            return TOutcome::NotNeeded; // nothing written yet, nothing to lose
        bool same = !stamps.isEmpty();
        for (qsizetype i = 0; same && i < m_members.size(); ++i)
            same = ReadOrEmpty(MemberPath(stamps.last(), m_members[i])) == files[i];
        if (same) {
            // The newest backup still is the book as it stands: it takes
            // today's date instead of a copy. Its spacing then starts anew,
            // so a command that rewrites both files keeps no backup of the
            // moment between the two.
            const QString stamp = now.toString(kStampFormat);
            if (spaced && stamp > stamps.last())
                for (const QString &member : std::as_const(m_members))
                    QFile::rename(MemberPath(stamps.last(), member), MemberPath(stamp, member));
            return TOutcome::NotNeeded;
        }
        if (!MakeOwnerOnlyFolder(Folder()))
            throw EFileError(QStringLiteral("Cannot create the folder \"%1\".")
                                 .arg(QDir::toNativeSeparators(Folder())));
        // Two backups within one millisecond (a restore right after a save)
        // still get names of their own, in order.
        QDateTime at = now;
        if (!stamps.isEmpty() && StampTime(stamps.last()) >= at)
            at = StampTime(stamps.last()).addMSecs(1);
        const QString stamp = at.toString(kStampFormat);
        // The items first: a backup is listed once its categories are there,
        // and a half-written one is dropped with the oldest.
        for (qsizetype i = 0; i < m_members.size(); ++i)
            SaveBytesAtomic(MemberPath(stamp, m_members[i]), files[i]);
        stamps.append(stamp);
        // Oldest first: beyond the newest kMaxBackups, those older than
        // kKeptSeconds before this one go.
        for (qsizetype i = 0; i < stamps.size() && stamps.size() > kMaxBackups;) {
            const QDateTime t = StampTime(stamps[i]);
            if (t.isValid() && t.secsTo(at) < kKeptSeconds)
                break;
            if (stamps[i] == spare) {
                ++i;
                continue;
            }
            const QString oldest = stamps.takeAt(i);
            for (auto m = m_members.crbegin(); m != m_members.crend(); ++m)
                QFile::remove(MemberPath(oldest, *m));
        }
        return TOutcome::Kept;
    } catch (const EFileError &e) {
        m_error = e.message();
        return TOutcome::Failed;
    }
}

QList<TBookBackup> TBookBackups::List() const
{
    QList<TBookBackup> list;
    const QStringList stamps = Stamps();
    if (stamps.isEmpty())
        return list;
    // A book that cannot be read is compared as an empty one: everything a
    // backup holds is then news.
    QByteArray currentCategories;
    QByteArray currentItems;
    std::shared_ptr<const void> currentKeeper;
    try {
        QList<QByteArray> files;
        for (const QString &member : std::as_const(m_members))
            files << ReadOrEmpty(m_appFolder + member);
        currentKeeper = Contents(files, &currentCategories, &currentItems);
    } catch (const EFileError &) {
        currentCategories.clear();
        currentItems.clear();
    }
    const TBookContents current(currentCategories, currentItems, m_reader ? kUtf8FieldDelimiter : kFieldDelimiter);
    for (auto it = stamps.crbegin(); it != stamps.crend(); ++it) {
        if (!QFileInfo::exists(MemberPath(*it, m_members.last())))
            continue;
        TBookBackup backup;
        backup.stamp = *it;
        backup.time = StampTime(*it);
        try {
            QList<QByteArray> files;
            for (const QString &member : std::as_const(m_members))
                files << ReadOrEmpty(MemberPath(*it, member));
            QByteArray categories;
            QByteArray items;
            const auto keeper = Contents(files, &categories, &items);
            backup.categories = SplitLines(categories).size();
            ForEachLine(items, [&](qsizetype, qsizetype) { ++backup.items; });
            backup.notInCurrent = current.Lacks(categories, items);
        } catch (const EFileError &) {
            continue; // a backup that cannot be read cannot be restored either
        }
        list.append(backup);
    }
    return list;
}

void TBookBackups::Restore(const QString &stamp)
{
    if (!MemberPattern(m_members).match(stamp + QLatin1Char('-') + m_members.first()).hasMatch()
        || !QFileInfo::exists(MemberPath(stamp, m_members.last())))
        throw EFileError(QStringLiteral("The backup \"%1\" no longer exists.").arg(stamp));
    QList<QByteArray> files;
    for (const QString &member : std::as_const(m_members))
        files << ReadOrEmpty(MemberPath(stamp, member));
    if (m_reader) {
        // Only a backup the key held opens goes back: one kept under an
        // earlier master password would lock the user out of the book.
        QByteArray categories;
        QByteArray items;
        Contents(files, &categories, &items);
    }
    // The book as it stands becomes a backup itself, so the restore can be
    // undone; without that backup nothing is replaced. Making room for it
    // spares the backup being restored, which may still be needed should
    // the files not take it.
    if (Keep(false, stamp) == TOutcome::Failed)
        throw EFileError(m_error);
    if (m_reader) {
        try {
            SaveBytesAtomic(m_appFolder + m_members.first(), files[0]);
        } catch (const EFileError &e) {
            throw EFileError(QStringLiteral("%1 The account book is unchanged.").arg(e.message()));
        }
        return;
    }
    const TBookWriteResult written = WriteBookFiles(m_appFolder, files[1], files[0]);
    if (!written.Ok())
        throw EFileError(written.Message());
}

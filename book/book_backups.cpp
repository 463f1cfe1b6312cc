#include "book_backups.h"

#include "book_files.h"
#include "util/errors.h"
#include "util/private_files.h"
#include "util/string_list.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

const QString TBookBackups::kFolderName = QStringLiteral("backups");
const QString TBookBackups::kCategoriesFile = QStringLiteral("categories.dat");
const QString TBookBackups::kItemsFile = QStringLiteral("items.dat");

namespace {

const QString kStampFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");

// A stamp, a dash and the book file's name: "20261209-142501-007-items.dat".
const QRegularExpression &MemberPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{8}-\\d{6}-\\d{3})-(categories|items)\\.dat$"));
    return pattern;
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

} // namespace

TBookBackups::TBookBackups(const QString &appFolder, Clock clock)
    : m_appFolder(appFolder), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTimeUtc(); };
}

QString TBookBackups::MemberPath(const QString &stamp, const QString &file) const
{
    return Folder() + stamp + QLatin1Char('-') + file;
}

QStringList TBookBackups::Stamps() const
{
    QStringList stamps;
    const QStringList names = QDir(Folder()).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QRegularExpressionMatch m = MemberPattern().match(name);
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

TBookBackups::TOutcome TBookBackups::Keep(bool spaced)
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
        const QByteArray categories = ReadOrEmpty(m_appFolder + kCategoriesFile);
        const QByteArray items = ReadOrEmpty(m_appFolder + kItemsFile);
        if (!QFileInfo::exists(m_appFolder + kCategoriesFile) && !QFileInfo::exists(m_appFolder + kItemsFile))
            return TOutcome::NotNeeded; // nothing written yet, nothing to lose
        if (!stamps.isEmpty() && ReadOrEmpty(MemberPath(stamps.last(), kCategoriesFile)) == categories
            && ReadOrEmpty(MemberPath(stamps.last(), kItemsFile)) == items) {
            // The newest backup still is the book as it stands: it takes
            // today's date instead of a copy. Its spacing then starts anew,
            // so a command that rewrites both files keeps no backup of the
            // moment between the two.
            const QString stamp = now.toString(kStampFormat);
            if (spaced && stamp > stamps.last()) {
                QFile::rename(MemberPath(stamps.last(), kItemsFile), MemberPath(stamp, kItemsFile));
                QFile::rename(MemberPath(stamps.last(), kCategoriesFile), MemberPath(stamp, kCategoriesFile));
            }
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
        SaveBytesAtomic(MemberPath(stamp, kItemsFile), items);
        SaveBytesAtomic(MemberPath(stamp, kCategoriesFile), categories);
        stamps.append(stamp);
        while (stamps.size() > kMaxBackups) {
            const QString oldest = stamps.takeFirst();
            QFile::remove(MemberPath(oldest, kCategoriesFile));
            QFile::remove(MemberPath(oldest, kItemsFile));
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
    for (auto it = stamps.crbegin(); it != stamps.crend(); ++it) {
        if (!QFileInfo::exists(MemberPath(*it, kCategoriesFile)))
            continue;
        TBookBackup backup;
        backup.stamp = *it;
        backup.time = StampTime(*it);
        try {
            backup.categories = SplitLines(ReadOrEmpty(MemberPath(*it, kCategoriesFile))).size();
            backup.items = SplitLines(ReadOrEmpty(MemberPath(*it, kItemsFile))).size();
        } catch (const EFileError &) {
            continue; // a backup that cannot be read cannot be restored either
        }
        list.append(backup);
    }
    return list;
}

void TBookBackups::Restore(const QString &stamp)
{
    if (!MemberPattern().match(stamp + QLatin1Char('-') + kItemsFile).hasMatch()
        || !QFileInfo::exists(MemberPath(stamp, kCategoriesFile)))
        throw EFileError(QStringLiteral("The backup \"%1\" no longer exists.").arg(stamp));
    const QByteArray categories = ReadOrEmpty(MemberPath(stamp, kCategoriesFile));
    const QByteArray items = ReadOrEmpty(MemberPath(stamp, kItemsFile));
    // The book as it stands becomes a backup itself, so the restore can be
    // undone; without that backup nothing is replaced.
    if (Keep(false) == TOutcome::Failed)
        throw EFileError(m_error);
    const TBookWriteResult written = WriteBookFiles(m_appFolder, categories, items);
    if (!written.Ok())
        throw EFileError(written.Message());
}

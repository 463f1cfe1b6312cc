#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// One earlier state of the account book: both files as they were at `time`.
struct TBookBackup
{
    QString stamp;  // the part of the file names that sorts by time
    QDateTime time; // UTC
    qsizetype categories = 0;
    qsizetype items = 0;
};

// Earlier versions of the book in `backups/` of the application folder. A
// backup holds both files, so a restore never pairs categories of one moment
// with items of another. Before either file is replaced the book as it stands
// is kept, at most once every few minutes (a burst of saves keeps the state
// before the burst) and never twice the same; the oldest go beyond a limit.
class TBookBackups
{
public:
    static constexpr int kMaxBackups = 20;
    static constexpr qint64 kSpacingSeconds = 5 * 60;
    static const QString kFolderName;
    static const QString kCategoriesFile;
    static const QString kItemsFile;

    using Clock = std::function<QDateTime()>;
    // `appFolder` ends with a path separator. `clock` gives the time (UTC);
    // tests pass their own.
    explicit TBookBackups(const QString &appFolder, Clock clock = {});

    enum class TOutcome { Kept, NotNeeded, Failed };
    // Run just before a book file is replaced. A failure leaves the book
    // alone; Error() says why.
    TOutcome BeforeReplace();
    // Keeps the book as it stands whatever the spacing (not when the newest
    // backup holds the same).
    TOutcome KeepNow();

    // Newest first.
    QList<TBookBackup> List() const;
    // Keeps the book as it stands, then puts back both files of the backup,
    // both or neither. Throws EFileError when the current book cannot be kept
    // or the files cannot be written; the message says why and that the book
    // is unchanged.
    void Restore(const QString &stamp);

    QString Folder() const { return m_appFolder + kFolderName + QLatin1Char('/'); }
    const QString &Error() const { return m_error; }

private:
    TOutcome Keep(bool spaced);
    QStringList Stamps() const; // oldest first
    QString MemberPath(const QString &stamp, const QString &file) const;

    QString m_appFolder;
    Clock m_clock;
    QString m_error;
};

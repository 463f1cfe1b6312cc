#pragma once

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

// What one state of the account book holds that another does not: category
// names, and items (a record by its category and title; a record too short
// to have both, by its whole line). Compared byte for byte.
struct TBookDifference
{
    qsizetype categories = 0;
    qsizetype items = 0;
};

// The names and items of one state of the book, to compare others with.
class TBookContents
{
public:
    // `delimiter` ends each field of a record: 0xA5 in the plain files.
    TBookContents(const QByteArray &categories, const QByteArray &items, char delimiter = '\xA5');
    // What the book of `categories` and `items` holds that this one does not.
    TBookDifference Lacks(const QByteArray &categories, const QByteArray &items) const;

private:
    QSet<QByteArray> m_categories;
    QSet<QByteArray> m_items;
    char m_delimiter;
};

// "+2 categories, +5 items", "+1 item", or "nothing".
QString DescribeDifference(const TBookDifference &difference);

// One earlier state of the account book: both files as they were at `time`.
struct TBookBackup
{
    QString stamp;  // the part of the file names that sorts by time
    QDateTime time; // UTC
    qsizetype categories = 0;
    qsizetype items = 0;
    // What it holds that the book as it stands does not: what a restore
    // would bring back.
    TBookDifference notInCurrent;
};

// Earlier versions of the book in `backups/` of the application folder. A
// backup holds both files, so a restore never pairs categories of one moment
// with items of another. Before either file is replaced the book as it stands
// is kept, at most once every few minutes (a burst of saves keeps the state
// before the burst), before a command that deletes, moves or brings in much
// whatever the spacing, and never twice the same. The newest kMaxBackups
// stay; older ones go, but none younger than kMaxBackups spacings: ordinary
// saves alone always reached that far back, and the backups taken before
// each of a quick run of deletes must not shorten that reach.
class TBookBackups
{
public:
    static constexpr int kMaxBackups = 20;
    static constexpr qint64 kSpacingSeconds = 5 * 60;
    static constexpr qint64 kKeptSeconds = kMaxBackups * kSpacingSeconds;
    static const QString kFolderName;

    using Clock = std::function<QDateTime()>;
    // `appFolder` ends with a path separator. `clock` gives the time (UTC);
    // tests pass their own.
    explicit TBookBackups(const QString &appFolder, Clock clock = {});

    // The protected book's backups: copies of its one encrypted file, never
    // anything decrypted. `reader` opens such a file with the key held
    // (its categories and items as views into the decrypted payload, which
    // the returned keeper holds); it throws EFileError for a file it cannot
    // open, such as one kept under an earlier master password, which is
    // neither listed nor restored.
    using TReader =
        std::function<std::shared_ptr<const void>(const QByteArray &file, QByteArray *categories, QByteArray *items)>;
    static TBookBackups Protected(const QString &appFolder, TReader reader, Clock clock = {});

    enum class TOutcome { Kept, NotNeeded, Failed };
    // Run just before a book file is replaced. A failure leaves the book
    // alone; Error() says why.
    TOutcome BeforeReplace();
    // Keeps the book as it stands whatever the spacing (not when the newest
    // backup holds the same).
    TOutcome KeepNow();

    // Newest first, each compared with the book as its files stand.
    QList<TBookBackup> List() const;
    // Keeps the book as it stands, then puts back both files of the backup,
    // both or neither. Throws EFileError when the current book cannot be kept
    // or the files cannot be written; the message says why and that the book
    // is unchanged.
    void Restore(const QString &stamp);

    QString Folder() const { return m_appFolder + kFolderName + QLatin1Char('/'); }
    const QString &Error() const { return m_error; }

private:
    // `spare` is a backup no pruning removes (the one being restored).
    TOutcome Keep(bool spaced, const QString &spare = {});
    QStringList Stamps() const; // oldest first
    QString MemberPath(const QString &stamp, const QString &file) const;
    // The book's state as its files hold it, for comparing.
    std::shared_ptr<const void> Contents(const QList<QByteArray> &files, QByteArray *categories, QByteArray *items) const;

    // The files a backup holds, the one that marks it complete last.
    QStringList m_members;
    TReader m_reader;
    QString m_appFolder;
    Clock m_clock;
    QString m_error;
};

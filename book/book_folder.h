#pragma once

#include "book/book_file_names.h"
#include "book/book_backups.h"
#include "book/book_files.h"
#include "book/csv_transfer.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QLockFile;
class TAccountBook;
class TBookSaver;

// What came of the backup kept before a file of the book is replaced. A
// failed backup never stops the save; the caller tells it.
struct TBookBackupStep
{
    bool failed = false;
    QString folder; // the backups folder
    QString error;
};

// What came of a save: its backup step and the write. After a failed write
// `written` names the file and the reason; the book in memory keeps every
// change and the next save writes it all again.
struct TBookSave
{
    TBookBackupStep backup;
    TBookWriteResult written;
    // Handed to the thread that writes a large book: backup and write are
    // reported by TBookFolder::backgroundSaveFinished once done.
    bool posted = false;
};

// What came of a CSV export.
struct TBookExport
{
    QString refusal; // the file is one of the folder's own; nothing written
    QString error;   // the file could not be written; an earlier one is whole
    qsizetype items = 0;
};

// What came of a CSV import.
struct TBookImport
{
    enum class TOutcome {
        Imported,
        NoBackup,   // the book as it was could not be kept: nothing changed
        Refused,    // the book no longer fits the plan: `error`; the book in
                    // memory holds part of it, the files none
        NotWritten, // `save.written` says why; the files are as they were
    };
    TOutcome outcome = TOutcome::Imported;
    TImportDone done;
    QString error;        // NoBackup and Refused
    QString backupFolder; // NoBackup
    TBookSave save;       // Imported and NotWritten
};

// One application folder's account book: where its files lie (the only
// place their names are spelt out), the book read from them, and every way
// it goes back to disk. A file is replaced only after the backup step
// (book/book_backups.h); a command that changes both files writes both or
// neither (book/book_files.h); a large book is written by a thread of its
// own (book/book_saver.h). Nothing here asks or tells the user: each
// operation hands back what came of it, and the caller shows that.
class TBookFolder : public QObject
{
    Q_OBJECT
public:
    static inline const QString &kCategoriesFile = BookFileNames::kCategories;
    static inline const QString &kItemsFile = BookFileNames::kItems;

    // `folder` is the application folder; a missing trailing separator is
    // added. The book is empty until Load.
    explicit TBookFolder(const QString &folder, QObject *parent = nullptr);
    // Finishes the background write first.
    ~TBookFolder() override;

    const QString &Folder() const { return m_folder; }
    QString CategoriesPath() const { return m_folder + kCategoriesFile; }
    QString ItemsPath() const { return m_folder + kItemsFile; }
    TAccountBook &Book() const { return *m_book; }

    // --- Loading ---
    // Reads categories.dat, then items.dat, into the book (a missing file
    // leaves it as it is). A file that cannot be read stops the load there
    // (items stay unread after a failed categories.dat); the result says
    // why, empty when both were read.
    QString Load();

    // --- Saving: the backup step, then the write ---
    TBookSave SaveCategories();
    // A book whose items.dat is at least BackgroundSaveFrom() bytes is
    // posted to the saver thread from a snapshot and the call returns at
    // once (`posted`); a smaller one is written before it returns.
    TBookSave SaveItems();
    // items.dat and, with `categories`, categories.dat: both or neither.
    // Always on the calling thread.
    TBookSave SaveBook(bool categories);
    // The next backup step, on this thread or the saver's, keeps the book
    // whatever the spacing of backups: called before saving a command that
    // deletes, moves or duplicates, so the state before it can be restored.
    // A save still waiting for the saver is written first, or it would be
    // folded into the command's own and the state before the command, on
    // disk only after it, would never be kept.
    void BackupBeforeNextSave();
    void SetBackgroundSaveFrom(qint64 bytes) { m_backgroundSaveFrom = bytes; }
    // Blocks until every write posted so far is committed or has failed;
    // their reports come through backgroundSaveFinished before it returns.
    void WaitForSaves();

    // --- Backups ---
    // Newest first, compared with the book as its files stand once every
    // pending write is done.
    QList<TBookBackup> Backups();
    // Keeps the book as it stands, then puts back both files of the backup.
    // Empty when done; else why, and the files are as they were. The book in
    // memory is not touched: the caller loads it again.
    QString Restore(const QString &stamp);

    // --- CSV ---
    // Why `path` must not take an export: it is one of the folder's own
    // files. Empty when it may.
    QString ExportRefusal(const QString &path) const;
    // Writes the book as loaded to `path` (owner-only).
    TBookExport ExportCsv(const QString &path) const;
    // What importing `csv` would do to the book as loaded.
    TImportPlan PlanImport(const QByteArray &csv) const;
    // Keeps the book as it stands whatever the spacing (without that backup
    // nothing is imported), adds the plan to the book and saves it: both
    // files when the plan brings new categories.
    TBookImport Import(const TImportPlan &plan);

    // --- The program's lock on the folder ---
    // Holds the lock of the running program (util/single_instance.h) for
    // as long as this object lives, so that a writer beside the program
    // writes nothing the program would save its own lists over. A lock
    // whose process is gone is taken over. False only when a live process
    // holds it; a folder where no lock can be made is no folder the book
    // could be written in either, and the write will say so.
    bool TakeLock();

signals:
    // One per background write, in order, on this object's thread.
    void backgroundSaveFinished(const QString &error, const QString &backupFolder, const QString &backupError);

private:
    TBookBackupStep KeepBackup();
    // False for a book small enough to be written at once.
    bool PostItems();

    QString m_folder;
    TAccountBook *m_book = nullptr;
    TBookSaver *m_saver = nullptr;
    qint64 m_backgroundSaveFrom = qint64(8) << 20;
    // Set by BackupBeforeNextSave, cleared by the backup step that honours
    // it; shared with the saver's jobs, since a job that replaces a waiting
    // one must keep the backup the replaced one owed.
    std::shared_ptr<std::atomic<bool>> m_backupDue = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<QLockFile> m_lock;
};

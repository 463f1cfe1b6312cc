#pragma once

#include "book/book_file_names.h"
#include "book/book_backups.h"
#include "book/book_files.h"
#include "book/csv_transfer.h"
#include "book/protected_file.h"

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
    static inline const QString &kProtectedFile = BookFileNames::kProtected;

    // `folder` is the application folder; a missing trailing separator is
    // added. The book is empty until Load.
    explicit TBookFolder(const QString &folder, QObject *parent = nullptr);
    // Finishes the background write first.
    ~TBookFolder() override;

    const QString &Folder() const { return m_folder; }
    QString CategoriesPath() const { return m_folder + kCategoriesFile; }
    QString ItemsPath() const { return m_folder + kItemsFile; }
    QString ProtectedPath() const { return m_folder + kProtectedFile; }
    TAccountBook &Book() const { return *m_book; }

    // --- The protected book ---
    // The folder keeps its book encrypted in book.tarnwick: decided when
    // this object is made (the file is there), changed by Protect and
    // Unprotect. Every operation below then reads and writes that file
    // alone, and its backups are copies of it.
    bool IsProtected() const { return m_protected; }
    // Protected and no key held: nothing is loaded, nothing is written.
    bool IsLocked() const { return m_protected && !m_key; }
    const TBookKeyPtr &Key() const { return m_key; }
    struct TUnlock
    {
        QString error; // empty when the book was loaded
        TProtectedFault fault = TProtectedFault::Unreadable;
        bool Ok() const { return error.isEmpty(); }
    };
    // Derives the key from the master password and loads the book. A wrong
    // password or a damaged file loads nothing and writes nothing.
    TUnlock Unlock(const QByteArray &password);
    // Finishes the saves under way, then drops the key (its memory wiped
    // once no save holds it) and empties the book.
    void Lock();
    // The book as loaded, written as book.tarnwick under `key` and read back
    // (the caller compares it; book/protected_book.h). For Protect and a new
    // master password.
    QString WriteProtected(const TBookKeyPtr &key, const QByteArray &categories,
                           const std::function<void(const std::function<void(const char *, qsizetype)> &)> &items);
    // Takes the folder over as protected with `key`, the book already in
    // book.tarnwick, and reloads it from there.
    QString AdoptProtected(const TBookKeyPtr &key);
    // Takes the folder back as plain and reloads the plain files.
    QString AdoptPlain();

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
    // Keeps the book's files as they stand in a backup now, whatever the
    // spacing: before a change of protection or master password.
    TBookBackupStep BackupNow();
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
    // What importing `csv` would do, told without holding its items.
    TImportPlan DryRunImport(const TCsvSource &csv) const;
    // Import without a plan made first: the items go into the book as the
    // rows are read and `plan` comes back without them. The backup is kept
    // before the first change, so a file that adds nothing keeps none and
    // writes nothing. A fault of the file found after the first item (it
    // grew while it was read) is told as Refused.
    TBookImport ImportCsv(const TCsvSource &csv, TImportPlan &plan);

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
    // The backup, `add`'s change of the book (it calls the backup step it
    // is given before the first change) and the save.
    TBookImport ImportWith(const std::function<void(TImportDone &, const std::function<void()> &)> &add);
    TBookBackupStep KeepBackup();
    TBookBackups MakeBackups() const;
    QString LoadProtected(const TBookKeyPtr &key, const QByteArray &password, TProtectedFault *fault);
    TBookSave SaveProtected();
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
    bool m_protected = false;
    TBookKeyPtr m_key;
};

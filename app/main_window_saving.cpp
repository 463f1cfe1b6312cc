// Saving a large book without holding up the window: the book hands out a
// snapshot of its records (its buffers shared, 16 bytes a record copied) and
// a thread of the window's own keeps the backup and writes items.dat from
// it, exactly as a save on the window's thread would. Writing hundreds of
// megabytes takes longer than a user waits for a button; the book in memory
// keeps every change whatever the write's outcome, and the next save writes
// it all again.
#include "main_window.h"

#include "book/account_book.h"
#include "book/book_backups.h"
#include "book/book_saver.h"
#include "util/error_reporter.h"
#include "util/errors.h"

bool TfrmMain::SaveItemsInBackground()
{
    TAccountBook::TItemsSnapshot snapshot = m_book->SnapshotItems();
    if (snapshot.Size() < m_backgroundSaveFrom)
        return false;
    if (!m_saver) {
        m_saver = new TBookSaver(this);
        connect(m_saver, &TBookSaver::finished, this, &TfrmMain::BookSaved);
    }
    const QString folder = m_appFolder;
    // A forced backup belongs to the save of the command that asked for it:
    // an earlier save still running must not take it (the state between the
    // two would then have no backup). Left set until a job takes it, so a
    // forced save replaced while it waits hands it on to the one replacing it.
    const bool forced = m_backupDue->load();
    m_saver->Post([snapshot = std::move(snapshot), folder, due = m_backupDue, forced] {
        TBookSaver::TReport report;
        TBookBackups backups(folder);
        const TBookBackups::TOutcome outcome =
            forced && due->exchange(false) ? backups.KeepNow() : backups.BeforeReplace();
        if (outcome == TBookBackups::TOutcome::Failed) {
            report.backupFolder = backups.Folder();
            report.backupError = backups.Error();
        }
        try {
            snapshot.Save(folder + QStringLiteral("items.dat"));
        } catch (const std::exception &e) {
            report.error = ErrorReporter::Describe(e);
        }
        return report;
    });
    return true;
}

void TfrmMain::WaitForSaves()
{
    if (m_saver)
        m_saver->Wait();
}

void TfrmMain::BookSaved(const QString &error, const QString &backupFolder, const QString &backupError)
{
    if (!backupError.isEmpty())
        TellBackupFailure(backupFolder, backupError);
    if (!error.isEmpty())
        ErrorReporter::Report(error);
}

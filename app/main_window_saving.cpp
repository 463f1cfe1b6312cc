// Saving a large book without holding up the window: the book's folder
// writes it on a thread of its own (book/book_folder.h); what that thread
// found comes back here to be told. The book in memory keeps every change
// whatever the write's outcome, and the next save writes it all again.
#include "main_window.h"

#include "book/book_folder.h"
#include "util/error_reporter.h"

void TfrmMain::SetBackgroundSaveFrom(qint64 bytes)
{
    m_folder->SetBackgroundSaveFrom(bytes);
}

void TfrmMain::WaitForSaves()
{
    m_folder->WaitForSaves();
}

void TfrmMain::BookSaved(const QString &error, const QString &backupFolder, const QString &backupError)
{
    if (!backupError.isEmpty())
        TellBackupFailure(backupFolder, backupError);
    if (!error.isEmpty())
        ErrorReporter::Report(error);
}

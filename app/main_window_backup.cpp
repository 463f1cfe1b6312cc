// Backups of the account book and the command that brings one back.
#include "main_window.h"

#include "item_editor.h"

#include "book/account_book.h"
#include "book/book_folder.h"
#include "book/restore_backup_dialog.h"
#include "util/error_reporter.h"
#include "util/errors.h"

#include <algorithm>

#include <QDir>
#include <QLocale>
#include <QPushButton>

namespace {

QString BackupTime(const TBookBackup &backup)
{
    return QLocale().toString(backup.time.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

void TfrmMain::BackupBeforeNextSave()
{
    m_folder->BackupBeforeNextSave();
}

void TfrmMain::TellSave(const TBookSave &save)
{
    // A failed backup never stops the save, and is told before its outcome.
    if (save.backup.failed)
        TellBackupFailure(save.backup.folder, save.backup.error);
    // A failed write ends the command as the book's own errors do: the error
    // reporter tells it, and whatever waited on the save (closing the
    // window, leaving the item for another) goes no further.
    if (!save.written.Ok())
        throw EFileError(save.written.error);
}

bool TfrmMain::SaveBook(bool categories)
{
    return TellBookSave(m_folder->SaveBook(categories));
}

bool TfrmMain::TellBookSave(const TBookSave &save)
{
    if (save.backup.failed)
        TellBackupFailure(save.backup.folder, save.backup.error);
    if (save.written.Ok())
        return true;
    msgMain->MessageDlg(save.written.Message(), TMsgDlgType::mtError, mbOK);
    ReloadBook();
    return false;
}

void TfrmMain::ReloadBook()
{
    m_editor->SetModified(false);
    m_book->Clear();
    m_editor->Clear();
    m_editor->SetFieldsEnabled(true);
    UpdateItemFieldsReadOnly();
    LoadBook();
}

void TfrmMain::TellBackupFailure(const QString &folder, const QString &error)
{
    if (m_backupFailureTold)
        return;
    m_backupFailureTold = true;
    msgMain->MessageDlg(QStringLiteral("No backup of the account book could be kept in the folder \"%1\". "
                                       "The book is saved all the same; earlier versions are not kept.\n\n%2")
                            .arg(QDir::toNativeSeparators(folder), error),
                        TMsgDlgType::mtWarning, mbOK);
}

void TfrmMain::actRestoreBackupClick()
{
    // Typing not yet stored is asked about first, as when the selection moves.
    if (!FormCloseQuery())
        return;
    // A save still being written finishes before the backups are looked at.
    const QList<TBookBackup> list = m_folder->Backups();
    if (list.isEmpty()) {
        msgMain->MessageDlg(QStringLiteral("There is no backup of the account book yet."),
                            TMsgDlgType::mtInformation, mbOK);
        return;
    }
    QString stamp;
    {
        TfrmRestoreBackup dialog(this);
        if (!dialog.Choose(list, &stamp))
            return;
    }
    const auto chosen = std::find_if(list.cbegin(), list.cend(),
                                     [&](const TBookBackup &b) { return b.stamp == stamp; });
    if (chosen == list.cend())
        return;
    if (msgMain->MessageDlg(QStringLiteral("Do you want to restore the account book as it was on %1 "
                                           "(%2 categories, %3 items)? The book as it is now is kept as a backup.")
                                .arg(BackupTime(*chosen))
                                .arg(chosen->categories)
                                .arg(chosen->items),
                            TMsgDlgType::mtWarning, TMsgDlgButtons(mbYes) | mbNo)
        != TModalResult::mrYes)
        return;
    // A failure says why and leaves the book (files and window) as it was.
    if (const QString error = m_folder->Restore(stamp); !error.isEmpty())
        return ErrorReporter::Report(error);
    // The tree and the lists are built again from the restored files.
    ReloadBook();
    TellLoadDamage();
}

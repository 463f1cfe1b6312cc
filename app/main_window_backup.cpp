// Backups of the account book and the command that brings one back.
#include "main_window.h"

#include "book/account_book.h"
#include "book/book_backups.h"
#include "book/book_files.h"
#include "book/category_tree.h"
#include "book/restore_backup_dialog.h"
#include "util/atomic_writer.h"
#include "util/error_reporter.h"

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

void TfrmMain::KeepBackup()
{
    TBookBackups backups(m_appFolder);
    const TBookBackups::TOutcome outcome = m_backupDue->exchange(false) ? backups.KeepNow() : backups.BeforeReplace();
    if (outcome == TBookBackups::TOutcome::Failed)
        TellBackupFailure(backups.Folder(), backups.Error());
}

bool TfrmMain::SaveBook(bool categories)
{
    // A save still being written goes first: the backup and the rollback
    // must see the files as the last save left them.
    WaitForSaves();
    KeepBackup();
    const TBookWriteResult written = WriteBookFiles(
        m_appFolder,
        categories ? TBookFileContent([this](TAtomicWriter &out) { m_book->WriteCategories(out); })
                   : TBookFileContent(),
        [this](TAtomicWriter &out) { m_book->WriteItems(out); });
    if (written.Ok())
        return true;
    msgMain->MessageDlg(written.Message(), TMsgDlgType::mtError, mbOK);
    ReloadBook();
    return false;
}

void TfrmMain::ReloadBook()
{
    ItemModified = false;
    m_book->Clear();
    ClearItemFields();
    EnableItemFields();
    UpdateItemFieldsReadOnly();
    LoadCategories();
    LoadItems();
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

void TfrmMain::btnRestoreBackupClick()
{
    // Typing not yet stored is asked about first, as when the selection moves.
    if (!FormCloseQuery())
        return;
    // A save still being written finishes before the backups are looked at.
    WaitForSaves();
    TBookBackups backups(m_appFolder);
    const QList<TBookBackup> list = backups.List();
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
    backups.Restore(stamp);
    // The tree and the lists are built again from the restored files.
    ReloadBook();
    TellLoadDamage();
}

#include "book_folder.h"

#include "book/account_book.h"
#include "book/book_saver.h"
#include "util/atomic_writer.h"
#include "util/errors.h"
#include "util/single_instance.h"

#include <QLockFile>

#include <exception>

namespace {

// What the user is told of an exception a write ended with.
QString Describe(const std::exception &e)
{
    if (const auto *app = dynamic_cast<const EAppError *>(&e))
        return app->message();
    return QString::fromLocal8Bit(e.what());
}

} // namespace

TBookFolder::TBookFolder(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder), m_book(new TAccountBook(this))
{
    if (!m_folder.isEmpty() && !m_folder.endsWith(u'/'))
        m_folder += u'/';
}

TBookFolder::~TBookFolder()
{
    // The saver writes what it was given before it goes.
    delete m_saver;
    m_saver = nullptr;
}

QString TBookFolder::Load()
{
    try {
        m_book->LoadCategories(CategoriesPath());
        m_book->LoadItems(ItemsPath());
    } catch (const EFileError &e) {
        return e.message();
    }
    return {};
}

TBookBackupStep TBookFolder::KeepBackup()
{
    TBookBackups backups(m_folder);
    const TBookBackups::TOutcome outcome = m_backupDue->exchange(false) ? backups.KeepNow() : backups.BeforeReplace();
    TBookBackupStep step;
    if (outcome == TBookBackups::TOutcome::Failed) {
        step.failed = true;
        step.folder = backups.Folder();
        step.error = backups.Error();
    }
    return step;
}

// Every write of a book file goes through one of these three.
TBookSave TBookFolder::SaveCategories()
{
    TBookSave save;
    WaitForSaves();
    save.backup = KeepBackup();
    try {
        m_book->SaveCategories(CategoriesPath());
    } catch (const EFileError &e) {
        save.written.error = e.message();
    }
    return save;
}

TBookSave TBookFolder::SaveItems()
{
    TBookSave save;
    if (PostItems()) {
        save.posted = true;
        return save;
    }
    WaitForSaves();
    save.backup = KeepBackup();
    try {
        m_book->SaveItems(ItemsPath());
    } catch (const EFileError &e) {
        save.written.error = e.message();
    }
    return save;
}

TBookSave TBookFolder::SaveBook(bool categories)
{
    // A save still being written goes first: the backup and the rollback
    // must see the files as the last save left them.
    TBookSave save;
    WaitForSaves();
    save.backup = KeepBackup();
    save.written = WriteBookFiles(
        m_folder,
        categories ? TBookFileContent([this](TAtomicWriter &out) { m_book->WriteCategories(out); })
                   : TBookFileContent(),
        [this](TAtomicWriter &out) { m_book->WriteItems(out); });
    return save;
}

void TBookFolder::BackupBeforeNextSave()
{
    WaitForSaves();
    m_backupDue->store(true);
}

// Saving a large book without holding up the caller: the book hands out a
// snapshot of its records (its buffers shared, 16 bytes a record copied) and
// the saver's thread keeps the backup and writes items.dat from it, exactly
// as a save on the calling thread would. Writing hundreds of megabytes takes
// longer than a user waits for a button.
bool TBookFolder::PostItems()
{
    TAccountBook::TItemsSnapshot snapshot = m_book->SnapshotItems();
    if (snapshot.Size() < m_backgroundSaveFrom)
        return false;
    if (!m_saver) {
        m_saver = new TBookSaver(this);
        connect(m_saver, &TBookSaver::finished, this, &TBookFolder::backgroundSaveFinished);
    }
    const QString folder = m_folder;
    const QString path = ItemsPath();
    // A forced backup belongs to the save of the command that asked for it:
    // an earlier save still running must not take it (the state between the
    // two would then have no backup). Left set until a job takes it, so a
    // forced save replaced while it waits hands it on to the one replacing it.
    const bool forced = m_backupDue->load();
    m_saver->Post([snapshot = std::move(snapshot), folder, path, due = m_backupDue, forced] {
        TBookSaver::TReport report;
        TBookBackups backups(folder);
        const TBookBackups::TOutcome outcome =
            forced && due->exchange(false) ? backups.KeepNow() : backups.BeforeReplace();
        if (outcome == TBookBackups::TOutcome::Failed) {
            report.backupFolder = backups.Folder();
            report.backupError = backups.Error();
        }
        try {
            snapshot.Save(path);
        } catch (const std::exception &e) {
            report.error = Describe(e);
        }
        return report;
    });
    return true;
}

void TBookFolder::WaitForSaves()
{
    if (m_saver)
        m_saver->Wait();
}

QList<TBookBackup> TBookFolder::Backups()
{
    // A save still being written finishes before the backups are looked at.
    WaitForSaves();
    return TBookBackups(m_folder).List();
}

QString TBookFolder::Restore(const QString &stamp)
{
    WaitForSaves();
    try {
        TBookBackups(m_folder).Restore(stamp);
    } catch (const EFileError &e) {
        return e.message();
    }
    return {};
}

QString TBookFolder::ExportRefusal(const QString &path) const
{
    return ExportTargetRefusal(m_folder, path);
}

TBookExport TBookFolder::ExportCsv(const QString &path) const
{
    TBookExport result;
    result.refusal = ExportRefusal(path);
    if (!result.refusal.isEmpty())
        return result;
    try {
        SaveCsvExport(path, ExportBookCsv(*m_book));
    } catch (const EFileError &e) {
        result.error = e.message();
        return result;
    }
    result.items = m_book->RecordCount();
    return result;
}

TImportPlan TBookFolder::PlanImport(const QByteArray &csv) const
{
    return PlanCsvImportInto(csv, ImportBookOf(*m_book));
}

TBookImport TBookFolder::Import(const TImportPlan &plan)
{
    using TOutcome = TBookImport::TOutcome;
    TBookImport result;
    // An import changes much at once: the book as it was is kept whatever
    // the spacing of backups, and without a backup nothing is imported. A
    // save still being written goes first, so the backup holds it.
    WaitForSaves();
    TBookBackups backups(m_folder);
    if (backups.KeepNow() == TBookBackups::TOutcome::Failed) {
        result.outcome = TOutcome::NoBackup;
        result.backupFolder = backups.Folder();
        result.error = backups.Error();
        return result;
    }
    try {
        result.done = ApplyCsvImport(*m_book, plan);
    } catch (const std::exception &e) {
        result.outcome = TOutcome::Refused;
        result.error = Describe(e);
        return result;
    }
    // Both files or neither: new categories never stand beside the old items.
    result.save = SaveBook(result.done.newCategories > 0);
    if (!result.save.written.Ok())
        result.outcome = TOutcome::NotWritten;
    return result;
}

bool TBookFolder::TakeLock()
{
    if (!m_lock) {
        m_lock = std::make_unique<QLockFile>(m_folder + TSingleInstance::kLockFileName);
        m_lock->setStaleLockTime(0);
    }
    if (m_lock->isLocked())
        return true;
    return m_lock->tryLock(0) || m_lock->error() != QLockFile::LockFailedError;
}

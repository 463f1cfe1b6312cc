#include "book_folder.h"

#include "book/account_book.h"
#include "book/book_saver.h"
#include "util/atomic_writer.h"
#include "util/errors.h"
#include "util/single_instance.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <algorithm>
#include <exception>

namespace {

// What the user is told of an exception a write ended with.
QString Describe(const std::exception &e)
{
    if (const auto *app = dynamic_cast<const EAppError *>(&e))
        return app->message();
    return QString::fromLocal8Bit(e.what());
}

// Writes a protected book: the header, then the categories and the items as
// they come, each chunk encrypted before it reaches the file.
void WriteProtectedFile(const QString &path, const TBookKeyPtr &key, const QByteArray &categories,
                        const std::function<void(const TAccountBook::TSink &)> &items)
{
    TAtomicWriter out(path);
    TProtectedWriter writer(key, [&out](const char *data, qsizetype size) { out.Write(data, size); });
    writer.Write(PayloadPrefix(categories.size()));
    writer.Write(categories);
    items([&writer](const char *data, qsizetype size) { writer.Write(data, size); });
    writer.Finish();
    out.Commit();
}

// A protected backup opened with the key held, for the list of backups.
std::shared_ptr<const void> ReadProtectedBytes(const QByteArray &file, const TBookKeyPtr &key, QByteArray *categories,
                                               QByteArray *items)
{
    if (!key)
        throw EFileError(QStringLiteral("The account book is locked."));
    QByteArray copy = file;
    QBuffer in(&copy);
    in.open(QIODevice::ReadOnly);
    const TProtectedContents contents = ReadProtectedFile(in, BookFileNames::kProtected, key);
    SplitPayload(*contents.payload, BookFileNames::kProtected, categories, items);
    return contents.payload;
}

} // namespace

TBookFolder::TBookFolder(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder), m_book(new TAccountBook(this))
{
    if (!m_folder.isEmpty() && !m_folder.endsWith(u'/'))
        m_folder += u'/';
    m_protected = QFileInfo::exists(ProtectedPath());
    if (m_protected)
        m_book->SetText(TBookText::Utf8);
}

TBookFolder::~TBookFolder()
{
    // The saver writes what it was given before it goes.
    delete m_saver;
    m_saver = nullptr;
}

QString TBookFolder::Load()
{
    if (m_protected) {
        if (!m_key)
            return QStringLiteral("The account book is protected and locked: unlock it with its master password.");
        TProtectedFault fault{};
        return LoadProtected(m_key, {}, &fault);
    }
    try {
        m_book->LoadCategories(CategoriesPath());
        m_book->LoadItems(ItemsPath());
    } catch (const EFileError &e) {
        return e.message();
    }
    return {};
}

QString TBookFolder::LoadProtected(const TBookKeyPtr &key, const QByteArray &password, TProtectedFault *fault)
{
    try {
        QFile file(ProtectedPath());
        if (!file.open(QIODevice::ReadOnly))
            throw EProtectedFileError(TProtectedFault::Unreadable,
                                      QStringLiteral("Cannot open file \"%1\". %2")
                                          .arg(QDir::toNativeSeparators(ProtectedPath()), file.errorString()));
        // The records are found while the later chunks are still being
        // decrypted; the book changes only once the whole file is sound.
        TProtectedReading reading(file, ProtectedPath(), password, key);
        const TSecureBufferPtr payload = reading.Payload();
        QByteArray categories;
        QByteArray items;
        reading.WaitFor(8);
        SplitPayload(*payload, ProtectedPath(), &categories, &items);
        const qsizetype itemsAt = payload->Size() - items.size();
        TProtectedContents contents;
        m_book->SetText(TBookText::Utf8);
        m_book->LoadItemBytes(
            items, ProtectedPath(), payload,
            [&](qsizetype n) { return std::max<qsizetype>(0, reading.WaitFor(itemsAt + n) - itemsAt); },
            [&] { contents = reading.Finish(); });
        m_book->LoadCategoryBytes(categories);
        m_key = contents.key;
    } catch (const EProtectedFileError &e) {
        *fault = e.Fault();
        return e.message();
    } catch (const EFileError &e) {
        *fault = TProtectedFault::Unreadable;
        return e.message();
    }
    return {};
}

TBookFolder::TUnlock TBookFolder::Unlock(const QByteArray &password)
{
    TUnlock result;
    if (!m_protected) {
        result.fault = TProtectedFault::NotProtected;
        result.error = QStringLiteral("The account book is not protected.");
        return result;
    }
    result.error = LoadProtected(nullptr, password, &result.fault);
    return result;
}

void TBookFolder::Lock()
{
    WaitForSaves();
    m_key.reset();
    m_book->Clear();
}

QString TBookFolder::WriteProtected(const TBookKeyPtr &key, const QByteArray &categories,
                                    const std::function<void(const TAccountBook::TSink &)> &items)
{
    WaitForSaves();
    try {
        WriteProtectedFile(ProtectedPath(), key, categories, items);
    } catch (const EFileError &e) {
        return e.message();
    }
    return {};
}

QString TBookFolder::AdoptProtected(const TBookKeyPtr &key)
{
    WaitForSaves();
    m_protected = true;
    m_key = key;
    m_book->Clear();
    m_book->SetText(TBookText::Utf8);
    return Load();
}

QString TBookFolder::AdoptPlain()
{
    WaitForSaves();
    m_protected = false;
    m_key.reset();
    m_book->Clear();
    m_book->SetText(TBookText::Ansi);
    return Load();
}

TBookBackups TBookFolder::MakeBackups() const
{
    if (!m_protected)
        return TBookBackups(m_folder);
    const TBookKeyPtr key = m_key;
    return TBookBackups::Protected(m_folder, [key](const QByteArray &file, QByteArray *categories, QByteArray *items) {
        return ReadProtectedBytes(file, key, categories, items);
    });
}

TBookSave TBookFolder::SaveProtected()
{
    TBookSave save;
    WaitForSaves();
    if (!m_key) {
        save.written.error = QStringLiteral("The account book is locked.");
        return save;
    }
    save.backup = KeepBackup();
    const TAccountBook &book = *m_book;
    try {
        WriteProtectedFile(ProtectedPath(), m_key, book.CategoryBytes(),
                           [&book](const TAccountBook::TSink &out) { book.WriteItemsTo(out); });
    } catch (const EFileError &e) {
        save.written.error = e.message();
    }
    return save;
}

TBookBackupStep TBookFolder::KeepBackup()
{
    TBookBackups backups = MakeBackups();
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
    if (m_protected)
        return SaveProtected();
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
    if (m_protected)
        return SaveProtected();
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
    if (m_protected)
        return SaveProtected();
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

TBookBackupStep TBookFolder::BackupNow()
{
    WaitForSaves();
    m_backupDue->store(true);
    return KeepBackup();
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
    if (m_protected && !m_key)
        return false;
    TAccountBook::TItemsSnapshot snapshot = m_book->SnapshotItems();
    if (snapshot.Size() < m_backgroundSaveFrom)
        return false;
    if (!m_saver) {
        m_saver = new TBookSaver(this);
        connect(m_saver, &TBookSaver::finished, this, &TBookFolder::backgroundSaveFinished);
    }
    const QString folder = m_folder;
    const QString path = m_protected ? ProtectedPath() : ItemsPath();
    // The protected book is one file: its categories go with the items, and
    // the key with the job (it is wiped once both the job and the folder
    // have let go of it).
    const TBookKeyPtr key = m_protected ? m_key : nullptr;
    const QByteArray categories = m_protected ? m_book->CategoryBytes() : QByteArray();
    // A forced backup belongs to the save of the command that asked for it:
    // an earlier save still running must not take it (the state between the
    // two would then have no backup). Left set until a job takes it, so a
    // forced save replaced while it waits hands it on to the one replacing it.
    const bool forced = m_backupDue->load();
    m_saver->Post([snapshot = std::move(snapshot), folder, path, due = m_backupDue, forced, key, categories] {
        TBookSaver::TReport report;
        TBookBackups backups = key ? TBookBackups::Protected(folder,
                                                             [key](const QByteArray &file, QByteArray *c, QByteArray *i) {
                                                                 return ReadProtectedBytes(file, key, c, i);
                                                             })
                                   : TBookBackups(folder);
        const TBookBackups::TOutcome outcome =
            forced && due->exchange(false) ? backups.KeepNow() : backups.BeforeReplace();
        if (outcome == TBookBackups::TOutcome::Failed) {
            report.backupFolder = backups.Folder();
            report.backupError = backups.Error();
        }
        try {
            if (key)
                WriteProtectedFile(path, key, categories,
                                   [&snapshot](const TAccountBook::TSink &out) { snapshot.WriteTo(out); });
            else
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
    return MakeBackups().List();
}

QString TBookFolder::Restore(const QString &stamp)
{
    WaitForSaves();
    try {
        MakeBackups().Restore(stamp);
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

TImportPlan TBookFolder::DryRunImport(const TCsvSource &csv) const
{
    return MapCsvImport(csv, ImportBookOf(*m_book), nullptr);
}

TBookImport TBookFolder::Import(const TImportPlan &plan)
{
    return ImportWith([&](TImportDone &done, const std::function<void()> &backUp) {
        backUp();
        done = ApplyCsvImport(*m_book, plan);
    });
}

TBookImport TBookFolder::ImportCsv(const TCsvSource &csv, TImportPlan &plan)
{
    return ImportWith([&](TImportDone &done, const std::function<void()> &backUp) {
        plan = ImportCsvInto(*m_book, csv, &done, backUp);
        if (!plan.fault.isEmpty() && (done.items > 0 || done.newCategories > 0))
            throw EAppError(plan.fault);
    });
}

TBookImport TBookFolder::ImportWith(const std::function<void(TImportDone &, const std::function<void()> &)> &add)
{
    using TOutcome = TBookImport::TOutcome;
    TBookImport result;
    // An import changes much at once: the book as it was is kept whatever
    // the spacing of backups, and without a backup nothing is imported. A
    // save still being written goes first, so the backup holds it.
    struct TNoBackup
    {
    };
    const auto backUp = [&] {
        WaitForSaves();
        TBookBackups backups = MakeBackups();
        if (backups.KeepNow() == TBookBackups::TOutcome::Failed) {
            result.backupFolder = backups.Folder();
            result.error = backups.Error();
            throw TNoBackup{};
        }
    };
    try {
        add(result.done, backUp);
    } catch (const TNoBackup &) {
        result.outcome = TOutcome::NoBackup;
        return result;
    } catch (const std::exception &e) {
        result.outcome = TOutcome::Refused;
        result.error = Describe(e);
        return result;
    }
    if (result.done.items == 0 && result.done.newCategories == 0)
        return result;
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

// One application folder's book without a window: what a load reads and
// where it stops, that every save keeps the book as it was first (whatever
// the spacing when a command asked for it, also on the saver's thread),
// that a failed write or backup comes back as a value with the files as
// they were, restoring, importing, and the program's lock.
#include "book/account_book.h"
#include "book/book_folder.h"
#include "support/book_fixture.h"
#include "support/fault_injection.h"
#include "support/temp_app_folder.h"

#include <QDir>
#include <QLockFile>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <limits>
#include <memory>
#include <optional>

namespace {

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = "Travel\xA5Hotels\xA5hp\xA5\r\nShops\xA5" "Books\xA5" "bp\xA5\r\n";
const QByteArray kAsFolder = "<folder>"; // the file is a folder: it cannot be read
const QByteArray kMissing = "<none>";
const qint64 kNever = std::numeric_limits<qint64>::max();

struct TFixture
{
    explicit TFixture(const QByteArray &categories = kCategories, const QByteArray &items = kItems)
    {
        for (const auto &[name, bytes] : {std::pair{"categories.dat", categories}, std::pair{"items.dat", items}}) {
            if (bytes == kAsFolder)
                QDir().mkdir(dir.File(name));
            else if (bytes != kMissing)
                dir.Write(name, bytes);
        }
        folder = std::make_unique<TBookFolder>(dir.Path());
    }
    TAccountBook &Book() const { return folder->Book(); }
    // Both files as a fresh load reads them: "Travel,Shops|Travel/Hotels,...".
    QString OnDisk() const
    {
        TBookFolder again(dir.Path());
        if (!again.Load().isEmpty())
            return QStringLiteral("(unreadable)");
        QStringList items;
        for (qsizetype r = 0; r < again.Book().RecordCount(); ++r) {
            const TItemRecord item = again.Book().ReadItem(r);
            items << QString::fromLatin1(item.fields[0] + '/' + item.fields[1]);
        }
        return QString::fromLatin1(CategoryList(again.Book()).join(',')) + u'|' + items.join(u',');
    }
    void AddItem(const QByteArray &category, const QByteArray &title) const
    {
        for (int c = 0; c < Book().CategoryCount(); ++c)
            if (Book().CategoryName(c) == category)
                QCOMPARE(Book().AddItem(Book().CategoryIndex(c), title), TBookOutcome::Done);
    }

    TTempAppFolder dir;
    std::unique_ptr<TBookFolder> folder;
};

const QString kLoaded = QStringLiteral("Travel,Shops|Travel/Hotels,Shops/Books");

enum TSave { Categories, Items, Book, BookItemsOnly };

} // namespace

class TestBookFolder : public QObject
{
    Q_OBJECT
private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<bool>("separator");
        QTest::addColumn<int>("categoriesRead");
        QTest::addColumn<int>("itemsRead");
        QTest::addColumn<QString>("errorNames");
        QTest::newRow("both files") << kCategories << kItems << true << 2 << 2 << "";
        QTest::newRow("folder named without its separator") << kCategories << kItems << false << 2 << 2 << "";
        QTest::newRow("nothing written yet") << kMissing << kMissing << true << 0 << 0 << "";
        QTest::newRow("categories.dat unreadable: items stay unread") << kAsFolder << kItems << true << 0 << 0
                                                                       << "categories.dat";
        QTest::newRow("items.dat unreadable") << kCategories << kAsFolder << true << 2 << 0 << "items.dat";
    }
    void load()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(bool, separator);
        QFETCH(int, categoriesRead);
        QFETCH(int, itemsRead);
        QFETCH(QString, errorNames);
        TFixture f(categories, items);
        if (!separator)
            f.folder = std::make_unique<TBookFolder>(f.dir.Path().chopped(1));
        const QString error = f.folder->Load();
        QCOMPARE(error.isEmpty(), errorNames.isEmpty());
        if (!errorNames.isEmpty())
            QVERIFY2(error.contains(QDir::toNativeSeparators(f.dir.File(errorNames))), qPrintable(error));
        QCOMPARE(f.Book().CategoryCount(), categoriesRead);
        QCOMPARE(f.Book().RecordCount(), itemsRead);
    }

    // Each save writes what it covers and keeps the book as it was first.
    void save_data()
    {
        QTest::addColumn<int>("save");
        QTest::addColumn<qint64>("backgroundFrom");
        QTest::addColumn<QString>("after");
        const QString both = QStringLiteral("Travel,Shops,Work|Travel/Hotels,Shops/Books,Travel/Trains");
        const QString itemsOnly = QStringLiteral("Travel,Shops|Travel/Hotels,Shops/Books,Travel/Trains");
        QTest::newRow("categories") << int(Categories) << kNever << "Travel,Shops,Work|Travel/Hotels,Shops/Books";
        QTest::newRow("items") << int(Items) << kNever << itemsOnly;
        QTest::newRow("items on the saver's thread") << int(Items) << qint64(0) << itemsOnly;
        QTest::newRow("both files") << int(Book) << kNever << both;
        QTest::newRow("both files, never on the saver's thread") << int(Book) << qint64(0) << both;
        QTest::newRow("the book's items alone") << int(BookItemsOnly) << kNever << itemsOnly;
    }
    void save()
    {
        QFETCH(int, save);
        QFETCH(qint64, backgroundFrom);
        QFETCH(QString, after);
        TFixture f;
        QVERIFY(f.folder->Load().isEmpty());
        f.folder->SetBackgroundSaveFrom(backgroundFrom);
        QSignalSpy reports(f.folder.get(), &TBookFolder::backgroundSaveFinished);
        QCOMPARE(f.Book().AddCategory("Work"), TBookOutcome::Done);
        f.AddItem("Travel", "Trains");

        TBookSave saved;
        switch (TSave(save)) {
        case Categories: saved = f.folder->SaveCategories(); break;
        case Items: saved = f.folder->SaveItems(); break;
        case Book: saved = f.folder->SaveBook(true); break;
        case BookItemsOnly: saved = f.folder->SaveBook(false); break;
        }
        const bool posted = save == Items && backgroundFrom == 0;
        QCOMPARE(saved.posted, posted);
        f.folder->WaitForSaves();
        QVERIFY2(saved.written.Ok(), qPrintable(saved.written.error));
        QVERIFY(!saved.backup.failed);
        QCOMPARE(reports.size(), posted ? 1 : 0);
        if (posted)
            QCOMPARE(reports.first(), (QVariantList{QString(), QString(), QString()}));
        QCOMPARE(f.OnDisk(), after);

        const QList<TBookBackup> backups = f.folder->Backups();
        QCOMPARE(backups.size(), 1);
        QVERIFY(f.folder->Restore(backups.first().stamp).isEmpty());
        QCOMPARE(f.OnDisk(), kLoaded);
    }

    // Saves come quicker than the spacing of backups: only a command that
    // asked for it gets a backup of its own, and the one it gets holds the
    // book as it was just before the command.
    void forcedBackup_data()
    {
        QTest::addColumn<qint64>("backgroundFrom");
        QTest::newRow("on the calling thread") << kNever;
        QTest::newRow("on the saver's thread") << qint64(0);
    }
    void forcedBackup()
    {
        QFETCH(qint64, backgroundFrom);
        TFixture f;
        QVERIFY(f.folder->Load().isEmpty());
        f.folder->SetBackgroundSaveFrom(backgroundFrom);
        f.AddItem("Travel", "One");
        f.folder->SaveItems();
        f.AddItem("Travel", "Two");
        f.folder->SaveItems();
        f.folder->WaitForSaves();
        QCOMPARE(f.folder->Backups().size(), 1); // the spacing held back the second
        const QString beforeCommand = f.OnDisk();

        QCOMPARE(f.Book().DeleteItem(f.Book().IndexOfRecord(0)), TBookOutcome::Done);
        f.folder->BackupBeforeNextSave();
        f.folder->SaveItems();
        f.folder->WaitForSaves();
        const QList<TBookBackup> backups = f.folder->Backups();
        QCOMPARE(backups.size(), 2);
        QCOMPARE(backups.first().items, 4);
        const QString afterCommand = f.OnDisk();
        QVERIFY(f.folder->Restore(backups.first().stamp).isEmpty());
        QCOMPARE(f.OnDisk(), beforeCommand);
        QVERIFY(afterCommand != beforeCommand);
    }

    // Failures come back as values: the backup's never stops the save; the
    // write's leaves the files as they were.
    void failures_data()
    {
        QTest::addColumn<int>("save");
        QTest::addColumn<bool>("noBackupFolder");
        QTest::addColumn<bool>("writeRefused");
        QTest::newRow("items: no backup can be kept") << int(Items) << true << false;
        QTest::newRow("items: the write is refused") << int(Items) << false << true;
        QTest::newRow("categories: the write is refused") << int(Categories) << false << true;
        QTest::newRow("both files: no backup can be kept") << int(Book) << true << false;
        QTest::newRow("both files: items.dat is refused") << int(Book) << false << true;
    }
    void failures()
    {
        QFETCH(int, save);
        QFETCH(bool, noBackupFolder);
        QFETCH(bool, writeRefused);
        TFixture f;
        QVERIFY(f.folder->Load().isEmpty());
        if (noBackupFolder)
            f.dir.Write("backups", "a file where the folder would be");
        QCOMPARE(f.Book().AddCategory("Work"), TBookOutcome::Done);
        f.AddItem("Travel", "Trains");
        TBookSave saved;
        {
            std::optional<TWriteFault> fault;
            if (writeRefused)
                fault.emplace(save == Categories ? "categories.dat" : "items.dat", TAtomicWriter::TStep::Replace,
                              EROFS);
            saved = save == Items ? f.folder->SaveItems()
                    : save == Categories ? f.folder->SaveCategories()
                                         : f.folder->SaveBook(true);
        }
        QCOMPARE(saved.backup.failed, noBackupFolder);
        if (noBackupFolder) {
            QCOMPARE(saved.backup.folder, f.dir.File("backups/"));
            QVERIFY(!saved.backup.error.isEmpty());
        }
        QCOMPARE(saved.written.Ok(), !writeRefused);
        if (writeRefused) {
            QVERIFY2(saved.written.error.contains("Read-only file system"), qPrintable(saved.written.error));
            QVERIFY(saved.written.unchanged);
            QCOMPARE(f.OnDisk(), kLoaded);
        } else {
            QVERIFY(f.OnDisk() != kLoaded);
        }
    }

    void restore_data()
    {
        QTest::addColumn<QString>("stamp"); // empty: the newest backup
        QTest::addColumn<bool>("restored");
        QTest::newRow("the newest backup") << "" << true;
        QTest::newRow("a backup that is gone") << "20000101-000000-000" << false;
        QTest::newRow("no stamp at all") << "../categories" << false;
    }
    void restore()
    {
        QFETCH(QString, stamp);
        QFETCH(bool, restored);
        TFixture f;
        QVERIFY(f.folder->Load().isEmpty());
        QCOMPARE(f.Book().AddCategory("Work"), TBookOutcome::Done);
        QVERIFY(f.folder->SaveBook(true).written.Ok());
        const QString changed = f.OnDisk();
        if (stamp.isEmpty())
            stamp = f.folder->Backups().value(0).stamp;
        const QString error = f.folder->Restore(stamp);
        QCOMPARE(error.isEmpty(), restored);
        QCOMPARE(f.OnDisk(), restored ? kLoaded : changed);
        // The book in memory is the caller's to load again.
        QCOMPARE(f.Book().CategoryCount(), 3);
        // A restore keeps the book it replaces.
        QCOMPARE(f.folder->Backups().size(), restored ? 2 : 1);
    }

    void import_data()
    {
        using TOutcome = TBookImport::TOutcome;
        QTest::addColumn<bool>("streamed"); // ImportCsv, not a plan made first
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("after"); // empty: as loaded
        QTest::addColumn<bool>("backedUp");
        const QByteArray intoTravel = "name,url,username,password,note,folder\r\nMail,https://m,u,p,n,Travel\r\n";
        const QByteArray intoNew = "name,url,username,password,note\r\nMail,https://m,u,p,n\r\n";
        for (const bool streamed : {false, true}) {
            const char *how = streamed ? "streamed: " : "planned: ";
            QTest::addRow("%sinto a category of the book", how)
                << streamed << intoTravel << "" << int(TOutcome::Imported) << "Travel,Shops|Travel/Hotels,Shops/Books,Travel/Mail"
                << true;
            QTest::addRow("%swith a new category", how)
                << streamed << intoNew << "" << int(TOutcome::Imported)
                << "Travel,Shops,Imported|Travel/Hotels,Shops/Books,Imported/Mail" << true;
            QTest::addRow("%sno backup can be kept", how)
                << streamed << intoNew << "backups" << int(TOutcome::NoBackup) << "" << false;
            QTest::addRow("%sitems.dat refused: no new category alone", how)
                << streamed << intoNew << "items.dat" << int(TOutcome::NotWritten) << "" << true;
        }
        QTest::newRow("planned: the book changed since the plan")
            << false << intoNew << "changed" << int(TOutcome::Refused) << "" << true;
        // Nothing to add: no backup, no write.
        QTest::newRow("streamed: every row already there")
            << true << QByteArray("name,password,folder\r\nHotels,,Travel\r\n") << "" << int(TOutcome::Imported) << ""
            << false;
    }
    void import()
    {
        QFETCH(bool, streamed);
        QFETCH(QByteArray, csv);
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(QString, after);
        QFETCH(bool, backedUp);
        TFixture f;
        QVERIFY(f.folder->Load().isEmpty());
        TImportPlan plan;
        if (!streamed) {
            plan = f.folder->PlanImport(csv);
            QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        }
        if (fault == u"backups")
            f.dir.Write("backups", "a file where the folder would be");
        if (fault == u"changed")
            QCOMPARE(f.Book().AddCategory("Imported"), TBookOutcome::Done);
        std::optional<TWriteFault> refused;
        if (fault == u"items.dat")
            refused.emplace("items.dat", TAtomicWriter::TStep::Replace, EROFS);
        const TBookImport imported = streamed ? f.folder->ImportCsv(TCsvSource(csv, 7), plan) : f.folder->Import(plan);
        refused.reset();
        QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        QCOMPARE(int(imported.outcome), outcome);
        QCOMPARE(imported.error.isEmpty(), outcome != int(TBookImport::TOutcome::NoBackup)
                                               && outcome != int(TBookImport::TOutcome::Refused));
        QCOMPARE(imported.save.written.Ok(), outcome != int(TBookImport::TOutcome::NotWritten));
        QCOMPARE(f.OnDisk(), after.isEmpty() ? kLoaded : after);
        // Whatever reached the files, the book as it was is kept.
        if (fault != u"backups")
            QCOMPARE(f.folder->Backups().size(), backedUp ? 1 : 0);
        if (backedUp)
            QCOMPARE(f.folder->Backups().value(0).items, 2);
    }

    void lock_data()
    {
        QTest::addColumn<bool>("heldElsewhere");
        QTest::addColumn<bool>("takenBefore");
        QTest::addColumn<bool>("taken");
        QTest::newRow("free") << false << false << true;
        QTest::newRow("held by a running program") << true << false << false;
        QTest::newRow("taken again by the same folder") << false << true << true;
    }
    void lock()
    {
        QFETCH(bool, heldElsewhere);
        QFETCH(bool, takenBefore);
        QFETCH(bool, taken);
        TFixture f;
        QLockFile program(f.dir.File("tarnwick.lock"));
        if (heldElsewhere)
            QVERIFY(program.tryLock(0));
        if (takenBefore)
            QVERIFY(f.folder->TakeLock());
        QCOMPARE(f.folder->TakeLock(), taken);
        // Held for as long as the folder lives, then free again.
        if (taken) {
            QVERIFY(!program.tryLock(0));
            f.folder.reset();
            QVERIFY(program.tryLock(0));
        }
    }
};

QTEST_GUILESS_MAIN(TestBookFolder)
#include "test_book_folder.moc"

// Backups of the account book: when one is kept, how many stay, what a restore
// puts back and that a restore can itself be undone. The clock is the test's.
#include "book/book_backups.h"
#include "support/fault_injection.h"
#include "support/temp_app_folder.h"
#include "util/errors.h"
#include "util/string_list.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>

namespace {

const QDateTime kStart(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);

class TBook
{
public:
    TBook() : backups(dir.Path(), [this] { return now; }) {}

    // What a save does: the backup first, then the new version of the file.
    void Save(const QByteArray &categories, const QByteArray &items)
    {
        backups.BeforeReplace();
        SaveBytesAtomic(dir.File("categories.dat"), categories);
        backups.BeforeReplace();
        SaveBytesAtomic(dir.File("items.dat"), items);
    }
    QStringList Names() const { return QDir(backups.Folder()).entryList(QDir::Files, QDir::Name); }

    TTempAppFolder dir;
    QDateTime now = kStart;
    TBookBackups backups;
};

QByteArray Version(int n)
{
    return QByteArray("Travel\r\nShops ") + QByteArray::number(n) + "\r\n";
}

} // namespace

class TestBookBackups : public QObject
{
    Q_OBJECT
private slots:
    void spacing_data()
    {
        QTest::addColumn<int>("secondsLater");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("backups");
        QTest::newRow("a burst keeps only the state before it") << 60 << true << 1;
        QTest::newRow("just under five minutes") << 299 << true << 1;
        QTest::newRow("five minutes on") << 300 << true << 2;
        QTest::newRow("an hour on, but the same book") << 3600 << false << 1;
        QTest::newRow("clock set back a day") << -86400 << true << 1;
    }
    void spacing()
    {
        QFETCH(int, secondsLater);
        QFETCH(bool, changed);
        QFETCH(int, backups);
        TBook book;
        book.dir.Write("categories.dat", Version(0));
        book.dir.Write("items.dat", "");
        book.Save(Version(1), "");
        QCOMPARE(book.backups.List().size(), 1);
        QCOMPARE(book.dir.Read("categories.dat"), Version(1));
        book.now = kStart.addSecs(secondsLater);
        // An unchanged book is saved as it is: that version is already kept
        // only when nothing changed since the first backup.
        if (!changed)
            book.dir.Write("categories.dat", Version(0));
        book.Save(Version(2), "");
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), backups);
        // The oldest backup holds the book before the first save of all.
        QCOMPARE(book.dir.Read("backups/" + list.last().stamp + "-categories.dat"), Version(0));
    }

    void atMostTwentyStay_newestFirst()
    {
        TBook book;
        book.dir.Write("categories.dat", Version(0));
        for (int i = 1; i <= 25; ++i) {
            book.now = kStart.addSecs(i * 301);
            book.Save(Version(i), "");
        }
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), TBookBackups::kMaxBackups);
        QCOMPARE(book.Names().size(), 2 * TBookBackups::kMaxBackups);
        // The five oldest (versions 0 to 4) are gone; names sort by time.
        QCOMPARE(book.dir.Read("backups/" + list.first().stamp + "-categories.dat"), Version(24));
        QCOMPARE(book.dir.Read("backups/" + list.last().stamp + "-categories.dat"), Version(5));
        QStringList sorted = book.Names();
        sorted.sort();
        QCOMPARE(book.Names(), sorted);
        for (int i = 1; i < list.size(); ++i)
            QVERIFY(list[i - 1].time > list[i].time);
    }

    void nothingToKeepBeforeTheFirstSave()
    {
        TBook book;
        QCOMPARE(book.backups.BeforeReplace(), TBookBackups::TOutcome::NotNeeded);
        QVERIFY(!QFileInfo::exists(book.backups.Folder()));
    }

    void anUnchangedBook_takesTheNewDate_andNoHalfwayBackupFollows()
    {
        TBook book;
        book.dir.Write("categories.dat", Version(0));
        book.Save(Version(1), "");
        book.dir.Write("categories.dat", Version(0)); // the book as the backup holds it
        book.now = kStart.addSecs(3600);
        // A command rewriting both files of that book: no backup of the moment
        // between the two rewrites, where one file is new and the other old.
        book.Save(Version(3), "Travel\xA5X\xA5\r\n");
        book.now = kStart.addSecs(3600 + 60);
        book.Save(Version(2), "");
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].time, kStart.addSecs(3600));
    }

    void list_countsCategoriesAndItems()
    {
        TBook book;
        book.dir.Write("categories.dat", "A\r\nB\r\n\r\nD");
        book.dir.Write("items.dat", "A\xA5one\xA5\r\nA\xA5two\xA5\r\nD\xA5three\xA5\r\n");
        book.Save("A\r\n", "");
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].categories, qsizetype(4));
        QCOMPARE(list[0].items, qsizetype(3));
        QCOMPARE(list[0].time, kStart);
    }

    void restore_bringsADeletedCategoryBack_andCanBeUndone()
    {
        TBook book;
        const QByteArray cats = "Travel\r\nShops\r\n";
        const QByteArray items = "Travel\xA5Hotels\xA5\r\nShops\xA5" "Books\xA5\r\n";
        book.dir.Write("categories.dat", cats);
        book.dir.Write("items.dat", items);
        // Delete Category: both files rewritten.
        book.Save("Travel\r\n", "Travel\xA5Hotels\xA5\r\n");
        book.now = kStart.addSecs(10); // within the spacing: a restore keeps the state all the same
        const QString stamp = book.backups.List().first().stamp;
        book.backups.Restore(stamp);
        QCOMPARE(book.dir.Read("categories.dat"), cats);
        QCOMPARE(book.dir.Read("items.dat"), items);
        // The book before the restore became a backup: restoring it undoes.
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.first().categories, qsizetype(1));
        book.backups.Restore(list.first().stamp);
        QCOMPARE(book.dir.Read("categories.dat"), QByteArray("Travel\r\n"));
        QCOMPARE(book.dir.Read("items.dat"), QByteArray("Travel\xA5Hotels\xA5\r\n"));
    }

    void restore_ofAnUnknownStamp_changesNothing_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::newRow("no such backup") << "20200101-000000-000";
        QTest::newRow("a path, not a stamp") << "../categories.dat";
    }
    void restore_ofAnUnknownStamp_changesNothing()
    {
        QFETCH(QString, stamp);
        TBook book;
        book.dir.Write("categories.dat", "A\r\n");
        QVERIFY_THROWS_EXCEPTION(EFileError, book.backups.Restore(stamp));
        QCOMPARE(book.dir.Read("categories.dat"), QByteArray("A\r\n"));
    }

    void ownerOnly_whateverTheUmask_data()
    {
        QTest::addColumn<int>("mask");
        QTest::newRow("umask 022") << 022;
        QTest::newRow("umask 002") << 002;
        QTest::newRow("umask 077") << 077;
    }
    void ownerOnly_whateverTheUmask()
    {
        QFETCH(int, mask);
        const mode_t old = ::umask(mode_t(mask));
        TBook book;
        book.dir.Write("categories.dat", "A\r\n");
        book.Save("B\r\n", "");
        ::umask(old);
        struct stat st;
        QCOMPARE(::stat(QFile::encodeName(book.backups.Folder()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        for (const QString &name : book.Names()) {
            QCOMPARE(::stat(QFile::encodeName(book.backups.Folder() + name).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0600);
        }
    }

    // Backups taken before each of a quick run of deletes, whatever the
    // spacing: none of them, least of all the state before the first,
    // goes to make room for the next.
    void retention_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("secondsApart");
        QTest::addColumn<int>("kept");
        QTest::newRow("a quick run of deletes keeps every state") << 30 << 10 << 30;
        QTest::newRow("ordinary spacing keeps the newest twenty") << 25 << 301 << 20;
        // The newest twenty, and all of the last 100 minutes (6,000 s): at
        // 7,250 s the backups from 1,500 s on.
        QTest::newRow("a run longer than twenty spacings") << 30 << 250 << 24;
    }
    void retention()
    {
        QFETCH(int, count);
        QFETCH(int, secondsApart);
        QFETCH(int, kept);
        TBook book;
        for (int i = 0; i < count; ++i) {
            book.now = kStart.addSecs(qint64(i) * secondsApart);
            book.dir.Write("categories.dat", Version(i));
            QCOMPARE(book.backups.KeepNow(), TBookBackups::TOutcome::Kept);
        }
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), kept);
        QCOMPARE(book.dir.Read("backups/" + list.last().stamp + "-categories.dat"), Version(count - kept));
        QCOMPARE(book.dir.Read("backups/" + list.first().stamp + "-categories.dat"), Version(count - 1));
    }

    // A restore the files cannot take leaves the book as it was and the
    // chosen backup in place to try again, even when it is the oldest and
    // the restore's own backup needed room.
    void restore_thatCannotBeWritten_changesNothing_andKeepsTheBackup()
    {
        TBook book;
        for (int i = 0; i < TBookBackups::kMaxBackups; ++i) {
            book.now = kStart.addSecs(qint64(i) * 301);
            book.dir.Write("categories.dat", Version(i));
            book.dir.Write("items.dat", "Shops\xA5" "Books " + QByteArray::number(i) + "\xA5\r\n");
            book.backups.KeepNow();
        }
        const QByteArray categories = "Current\r\n";
        const QByteArray items = "Current\xA5One\xA5\r\n";
        book.dir.Write("categories.dat", categories);
        book.dir.Write("items.dat", items);
        book.now = kStart.addDays(1);
        const QString oldest = book.backups.List().last().stamp;
        QString error;
        {
            TWriteFault refused("items.dat", TAtomicWriter::TStep::Replace, ENOSPC);
            try {
                book.backups.Restore(oldest);
            } catch (const EFileError &e) {
                error = e.message();
            }
        }
        QVERIFY2(error.contains("No space left on device") && error.endsWith("The account book is unchanged."),
                 qPrintable(error));
        QCOMPARE(book.dir.Read("categories.dat"), categories);
        QCOMPARE(book.dir.Read("items.dat"), items);
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), TBookBackups::kMaxBackups);
        QCOMPARE(list.last().stamp, oldest);
        QCOMPARE(book.dir.Read("backups/" + list.first().stamp + "-categories.dat"), categories);
        // Once the files take it, the same backup comes back whole.
        book.backups.Restore(oldest);
        QCOMPARE(book.dir.Read("categories.dat"), Version(0));
    }

    // What a restore would bring back that the book does not hold.
    void difference_data()
    {
        QTest::addColumn<QByteArray>("backupCategories");
        QTest::addColumn<QByteArray>("backupItems");
        QTest::addColumn<QByteArray>("currentCategories");
        QTest::addColumn<QByteArray>("currentItems");
        QTest::addColumn<QString>("shown");
        const QByteArray cats = "Travel\r\nShops\r\n";
        const QByteArray items = "Travel\xA5Hotels\xA5pw1\xA5\r\nShops\xA5" "Books\xA5\r\nShops\xA5" "Games\xA5\r\n";
        QTest::newRow("the same book") << cats << items << cats << items << "nothing";
        QTest::newRow("a deleted category and its items")
            << cats << items << QByteArray("Travel\r\n") << QByteArray("Travel\xA5Hotels\xA5pw1\xA5\r\n")
            << "+1 category, +2 items";
        QTest::newRow("an item edited since is no news")
            << cats << items << cats << QByteArray(items).replace("pw1", "pw2") << "nothing";
        QTest::newRow("newer work only in the book")
            << cats << items << cats + "New\r\n" << items + "New\xA5One\xA5\r\n" << "nothing";
        QTest::newRow("a renamed item")
            << cats << items << cats << QByteArray(items).replace("Hotels", "Hostels") << "+1 item";
        QTest::newRow("an item moved to another category")
            << cats << items << cats << QByteArray(items).replace("Shops\xA5" "Games", "Travel\xA5" "Games")
            << "+1 item";
        QTest::newRow("names compare byte for byte")
            << cats << QByteArray() << QByteArray("travel\r\nShops\r\n") << QByteArray() << "+1 category";
        QTest::newRow("a name held twice comes back twice")
            << QByteArray("A\r\nA\r\nB\r\n") << QByteArray() << QByteArray("B\r\n") << QByteArray()
            << "+2 categories";
        QTest::newRow("a record too short for a title, by its whole line")
            << cats << QByteArray("Shops only\r\n") << cats << QByteArray("Shops\r\n") << "+1 item";
        QTest::newRow("blank lines are no items")
            << cats << QByteArray("\r\n\r\n") << cats << QByteArray() << "nothing";
        QTest::newRow("everything, against an empty book") << cats << items << QByteArray() << QByteArray()
                                                            << "+2 categories, +3 items";
    }
    void difference()
    {
        QFETCH(QByteArray, backupCategories);
        QFETCH(QByteArray, backupItems);
        QFETCH(QByteArray, currentCategories);
        QFETCH(QByteArray, currentItems);
        QFETCH(QString, shown);
        const TBookContents current(currentCategories, currentItems);
        QCOMPARE(DescribeDifference(current.Lacks(backupCategories, backupItems)), shown);
    }

    // The list compares every backup with the book as its files stand.
    void list_comparesWithTheCurrentBook()
    {
        TBook book;
        book.dir.Write("categories.dat", "Travel\r\nShops\r\n");
        book.dir.Write("items.dat", "Travel\xA5Hotels\xA5\r\nShops\xA5" "Books\xA5\r\n");
        book.backups.KeepNow();
        book.now = kStart.addSecs(10);
        book.dir.Write("categories.dat", "Travel\r\n");
        book.dir.Write("items.dat", "Travel\xA5Hotels\xA5\r\nTravel\xA5" "Flights\xA5\r\n");
        book.backups.KeepNow();
        book.dir.Write("items.dat", "Travel\xA5Hotels\xA5\r\n");
        const QList<TBookBackup> list = book.backups.List();
        QCOMPARE(list.size(), 2);
        QCOMPARE(DescribeDifference(list[0].notInCurrent), QString("+1 item"));
        QCOMPARE(DescribeDifference(list[1].notInCurrent), QString("+1 category, +1 item"));
    }

    void aFolderThatCannotBeWritten_failsWithoutTouchingTheBook()
    {
        TBook book;
        book.dir.Write("categories.dat", "A\r\n");
        book.dir.Write("backups", "a file where the folder should be");
        QCOMPARE(book.backups.BeforeReplace(), TBookBackups::TOutcome::Failed);
        QVERIFY(!book.backups.Error().isEmpty());
        QCOMPARE(book.dir.Read("categories.dat"), QByteArray("A\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestBookBackups)
#include "test_book_backups.moc"

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

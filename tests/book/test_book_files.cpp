// Writing both files of the account book as one change: whichever step fails
// (a full disk while writing, a file system that refuses the replacement),
// both files stay as they were, no stray file is left, and the message names
// the file and the system's reason.
#include "book/book_files.h"
#include "support/fault_injection.h"
#include "support/temp_app_folder.h"

#include <QDir>
#include <QTest>

#include <cerrno>

namespace {

using TStep = TAtomicWriter::TStep;

const QByteArray kOldCategories = "Travel\r\nShops\r\n";
const QByteArray kOldItems = "Travel\xA5Hotels\xA5\r\nShops\xA5" "Books\xA5\r\n";
const QByteArray kNewCategories = "Travel\r\nShops\r\nImported\r\n";
const QByteArray kNewItems = kOldItems + "Imported\xA5Mail\xA5\r\n";

QStringList Names(const TTempAppFolder &dir)
{
    return QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestBookFiles : public QObject
{
    Q_OBJECT
private slots:
    void bothWritten()
    {
        TTempAppFolder dir;
        dir.Write("categories.dat", kOldCategories);
        dir.Write("items.dat", kOldItems);
        const TBookWriteResult r = WriteBookFiles(dir.Path(), kNewCategories, kNewItems);
        QVERIFY2(r.Ok(), qPrintable(r.error));
        QCOMPARE(dir.Read("categories.dat"), kNewCategories);
        QCOMPARE(dir.Read("items.dat"), kNewItems);
        QCOMPARE(Names(dir), (QStringList{"categories.dat", "items.dat"}));
    }

    void failure_leavesBothFilesAsTheyWere_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("categoriesBefore");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full while writing categories.dat")
            << "categories.dat" << int(TStep::Write) << ENOSPC << true << "No space left on device";
        QTest::newRow("disk full while writing items.dat")
            << "items.dat" << int(TStep::Write) << ENOSPC << true << "No space left on device";
        QTest::newRow("categories.dat refused its replacement")
            << "categories.dat" << int(TStep::Replace) << EROFS << true << "Read-only file system";
        // The one step after categories.dat was replaced: it is put back.
        QTest::newRow("items.dat refused its replacement")
            << "items.dat" << int(TStep::Replace) << EROFS << true << "Read-only file system";
        QTest::newRow("items.dat refused, no categories.dat before")
            << "items.dat" << int(TStep::Replace) << ENOSPC << false << "No space left on device";
    }
    void failure_leavesBothFilesAsTheyWere()
    {
        QFETCH(QString, file);
        QFETCH(int, step);
        QFETCH(int, error);
        QFETCH(bool, categoriesBefore);
        QFETCH(QString, reason);
        TTempAppFolder dir;
        if (categoriesBefore)
            dir.Write("categories.dat", kOldCategories);
        dir.Write("items.dat", kOldItems);
        const QStringList before = Names(dir);
        TBookWriteResult r;
        {
            TWriteFault fault(file, TStep(step), error);
            r = WriteBookFiles(dir.Path(), kNewCategories, kNewItems);
        }
        QVERIFY(!r.Ok());
        QVERIFY(r.unchanged);
        QCOMPARE(r.Message(), QStringLiteral("Cannot write file \"%1\". %2. The account book is unchanged.")
                                  .arg(QDir::toNativeSeparators(dir.File(file)), reason));
        QCOMPARE(dir.Exists("categories.dat"), categoriesBefore);
        if (categoriesBefore)
            QCOMPARE(dir.Read("categories.dat"), kOldCategories);
        QCOMPARE(dir.Read("items.dat"), kOldItems);
        QCOMPARE(Names(dir), before);
    }

    // Should categories.dat not go back either, the message must not claim
    // an unchanged book.
    void categoriesNotPutBack_isSaid()
    {
        TTempAppFolder dir;
        dir.Write("categories.dat", kOldCategories);
        dir.Write("items.dat", kOldItems);
        TBookWriteResult r;
        {
            TWriteFault refused("items.dat", TStep::Replace, EROFS);
            TWriteFault full("categories.dat", TStep::Write, ENOSPC, 1); // the put-back, not the first write
            r = WriteBookFiles(dir.Path(), kNewCategories, kNewItems);
        }
        QVERIFY(!r.unchanged);
        QVERIFY2(!r.Message().contains("unchanged"), qPrintable(r.Message()));
        QVERIFY2(r.Message().contains("Read-only file system") && r.Message().contains("No space left on device")
                     && r.Message().contains("restore the newest backup"),
                 qPrintable(r.Message()));
        QCOMPARE(dir.Read("items.dat"), kOldItems);
    }
};

QTEST_GUILESS_MAIN(TestBookFiles)
#include "test_book_files.moc"

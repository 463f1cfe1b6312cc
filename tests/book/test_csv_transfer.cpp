// The account book to and from CSV files: what an import adds to a book,
// that an export read back gives the same items, that the exported file is
// owner-only and never one of the book's own, that a file to import is
// bounded, and what the preview shows.
#include "book/account_book.h"
#include "book/csv_import_dialog.h"
#include "book/csv_transfer.h"
#include "support/book_fixture.h"
#include "support/temp_app_folder.h"
#include "util/errors.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>

namespace {

int Mode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// '|' stands for the delimiter 0xA5.
QByteArray Lines(const char *s)
{
    return QByteArray(s).replace('|', '\xA5');
}

// Every record whole, in file order.
QList<QByteArray> Records(const TAccountBook &book)
{
    QList<QByteArray> out;
    for (qsizetype r = 0; r < book.RecordCount(); ++r) {
        const TItemRecord item = book.ReadItem(r);
        out << QByteArrayList(item.fields.begin(), item.fields.end()).join('|') + '|' + item.description;
    }
    return out;
}

// "row field: problem" of every note.
QStringList Where(const TImportPlan &plan)
{
    QStringList out;
    for (const TImportNote &n : plan.notes)
        out << DescribeNote(n);
    return out;
}

// "category/title" of every record, in file order.
QStringList Keys(const TAccountBook &book)
{
    QStringList out;
    for (qsizetype r = 0; r < book.RecordCount(); ++r) {
        const TItemRecord item = book.ReadItem(r);
        out << QString::fromLatin1(item.fields[0] + '/' + item.fields[1]);
    }
    return out;
}

void LoadInto(TAccountBook &book, const TTempAppFolder &dir, const QByteArray &categories, const QByteArray &items)
{
    dir.Write("categories.dat", categories);
    dir.Write("items.dat", items);
    book.LoadCategories(dir.File("categories.dat"));
    book.LoadItems(dir.File("items.dat"));
}

} // namespace

class TestCsvTransfer : public QObject
{
    Q_OBJECT
private slots:
    void apply_data()
    {
        QTest::addColumn<QByteArray>("categories");
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("categoriesAfter");
        QTest::addColumn<QStringList>("keysAfter");
        const QByteArray list = "name,password,folder\r\n";
        QTest::newRow("into an empty book, file order kept")
            << QByteArray() << QByteArray() << list + "b,p,Y\r\na,p,X\r\nc,p,Y\r\n" << QStringList{"Y", "X"}
            << QStringList{"Y/b", "X/a", "Y/c"};
        QTest::newRow("a title that differs only in case is its own")
            << QByteArray("Work\r\n") << Lines("Work|Mail|||||||||||\r\n") << list + "mail,p,Work\r\nMail,p,work\r\n"
            << QStringList{"Work"} << QStringList{"Work/Mail", "Work/mail", "Work/Mail (2)"};
        QTest::newRow("after records of no category shown")
            << QByteArray("A\r\n") << Lines("Gone|T|||||||||||\r\n") << list + "T,p,Gone\r\n"
            << QStringList{"A", "Gone"} << QStringList{"Gone/T", "Gone/T (2)"};
        // What the rows before have given decides a row: the book must
        // answer as the plan's own records do.
        QTest::newRow("repeated rows, numbered titles and another spelling")
            << QByteArray("Work\r\n") << Lines("Work|Mail||||u|p||||||\r\nWork|Mail (2)||||v|q||||||\r\n")
            << list.left(list.size() - 2) + ",username\r\nMail,p,work,u\r\nMail,r,Work,u\r\nMail,r,Work,u\r\n"
                   "Mail,q,Work,v\r\nNew,p,Z,\r\nNew,p,z,\r\nNew,s,Z,\r\n"
            << QStringList{"Work", "Z"} << QStringList{"Work/Mail", "Work/Mail (2)", "Work/Mail (3)", "Z/New", "Z/New (2)"};
    }
    void apply()
    {
        QFETCH(QByteArray, categories);
        QFETCH(QByteArray, items);
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, categoriesAfter);
        QFETCH(QStringList, keysAfter);
        TTempAppFolder dir;
        TAccountBook book;
        LoadInto(book, dir, categories, items);
        const TImportPlan plan = PlanCsvImportInto(csv, ImportBookOf(book));
        QVERIFY2(plan.fault.isEmpty(), qPrintable(plan.fault));
        const TImportDone done = ApplyCsvImport(book, plan);
        QCOMPARE(qsizetype(done.items), plan.items.size());
        QCOMPARE(qsizetype(done.newCategories), plan.newCategories.size());
        QStringList names;
        for (const QByteArray &c : CategoryList(book))
            names << QString::fromLatin1(c);
        QCOMPARE(names, categoriesAfter);
        QCOMPARE(Keys(book), keysAfter);
        // Every imported item can be opened: its node leads back to its record.
        for (qsizetype r = book.RecordCount() - done.items; r < book.RecordCount(); ++r)
            QCOMPARE(book.RecordAt(book.IndexOfRecord(r)), r);

        // Read in small chunks straight into the book, the file gives the
        // same book byte for byte.
        TAccountBook streamed;
        LoadInto(streamed, dir, categories, items);
        TImportDone streamedDone;
        const TImportPlan told = ImportCsvInto(streamed, TCsvSource(csv, 3), &streamedDone);
        QCOMPARE(told.itemCount, plan.items.size());
        QVERIFY(told.items.isEmpty());
        QCOMPARE(told.newCategories, plan.newCategories);
        QCOMPARE(Where(told), Where(plan));
        QCOMPARE(streamedDone.items, done.items);
        QCOMPARE(CategoryList(streamed), CategoryList(book));
        QCOMPARE(Records(streamed), Records(book));
    }

    // Importing a file a second time adds nothing, whatever its shape and
    // whatever the first import had to number or rename.
    void importTwice_addsNothing_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::newRow("a browser's list, titles numbered")
            << QByteArray("name,url,username,password\r\nHotels,https://h.example,ann,pw\r\n"
                          "Hotels,https://h.example,bob,pw\r\nHotels,https://h.example,ann,pw\r\n"
                          "Mail,https://m.example,eve,p\r\n");
        QTest::newRow("a password manager's groups and addresses")
            << QByteArray("Group,Title,Username,Password,URL,Notes\r\nRoot/Travel,Hotels,ann,pw,https://h.example,\r\n"
                          "Root,Bank,joe,pw,https://b.example,note\r\n");
        QTest::newRow("the book's own export")
            << CsvRecord(BookCsvHeader())
                   + CsvRecord({"travel", "Hotels", "", "", "", "ann", "pw", "", "", "", "15th", "a\r\nb"});
    }
    void importTwice_addsNothing()
    {
        QFETCH(QByteArray, csv);
        TTempAppFolder dir;
        TAccountBook book;
        LoadInto(book, dir, "Travel\r\n", Lines("Travel|Hotels|||||||||||\r\n"));
        const TImportPlan first = PlanCsvImportInto(csv, ImportBookOf(book));
        QVERIFY(!first.items.isEmpty());
        ApplyCsvImport(book, first);
        const QStringList keys = Keys(book);
        const TImportPlan second = PlanCsvImportInto(csv, ImportBookOf(book));
        QVERIFY2(second.fault.isEmpty(), qPrintable(second.fault));
        QCOMPARE(second.items.size(), 0);
        QCOMPARE(second.newCategories, QByteArrayList{});
        QCOMPARE(second.LostRows(), first.LostRows());
        QCOMPARE(second.SkippedRows(), first.SkippedRows() + first.items.size());
        QCOMPARE(Keys(book), keys);
        // Nor does reading it straight into the book, which then never
        // changes.
        bool changed = false;
        TImportDone done;
        const TImportPlan streamed = ImportCsvInto(book, csv, &done, [&] { changed = true; });
        QCOMPARE(streamed.itemCount, 0);
        QCOMPARE(Where(streamed), Where(second));
        QVERIFY(!changed);
        QCOMPARE(Keys(book), keys);
    }

    // Streamed from a file that is cut short under it, the import ends in a
    // fault of the file, which its caller takes for a refusal, rather than
    // in a last item whose password was cut in two.
    void streamedFromAFileCutShort_endsInAFault()
    {
        TTempAppFolder dir;
        QByteArray csv = "name,password\r\n";
        for (int i = 0; i < 2000; ++i)
            csv += "t" + QByteArray::number(i) + ",secret-password-" + QByteArray::number(i) + "\r\n";
        dir.Write("list.csv", csv);
        TAccountBook book;
        TImportDone done;
        const TImportPlan plan = ImportCsvInto(book, TCsvSource::File(dir.File("list.csv"), 512), &done, [&] {
            QFile file(dir.File("list.csv"));
            QVERIFY(file.resize(csv.indexOf("secret-password-1500") + 10));
        });
        QVERIFY(!plan.fault.isEmpty());
        QVERIFY(done.items > 0);
        for (qsizetype r = 0; r < book.RecordCount(); ++r)
            QVERIFY(book.ReadItem(r).Password().startsWith("secret-password-"));
    }

    void exportThenImport_givesTheSameItems()
    {
        TTempAppFolder from;
        TAccountBook book;
        LoadInto(book, from, "Travel\r\nCaf\xE9s\r\nEmpty\r\n",
                 Lines("Travel|Hotels|prog|http://w|http://l|user|p,w\"d|http://a|http://c|$5|15th|one\xA5\xA5\xA7\xA7two|\r\n"
                       "Caf\xE9s|Fresh|||||||||||||\r\n"
                       "Travel|Flights|||||||||||\r\n"
                       "Travel|flights|x||||||||||\r\n"));
        const QByteArray csv = ExportBookCsv(book);
        TAccountBook copy;
        const TImportPlan plan = PlanCsvImportInto(csv, ImportBookOf(copy));
        QCOMPARE(plan.notes.size(), 0);
        ApplyCsvImport(copy, plan);
        QCOMPARE(copy.RecordCount(), book.RecordCount());
        for (qsizetype r = 0; r < book.RecordCount(); ++r) {
            const TItemRecord a = book.ReadItem(r);
            const TItemRecord b = copy.ReadItem(r);
            QCOMPARE(b.fields, a.fields);
            QCOMPARE(b.description, a.description);
        }
        QCOMPARE(book.ReadItem(0).description, QByteArray("one\r\ntwo"));
        QCOMPARE(CategoryList(copy), (TStringList{"Travel", "Caf\xE9s"})); // an empty category has no row
    }

    void exportFile_isOwnerOnly()
    {
        TTempAppFolder dir;
        const QString path = dir.File("out.csv");
        SaveCsvExport(path, "a\r\n");
        QCOMPARE(Mode(path), 0600);
        // An earlier file readable by others does not pass its mode on.
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther | QFileDevice::ReadGroup);
        QCOMPARE(Mode(path), 0644);
        SaveCsvExport(path, "b\r\n");
        QCOMPARE(Mode(path), 0600);
        QCOMPARE(dir.Read("out.csv"), QByteArray("b\r\n"));
        // A failed write says so and leaves nothing behind.
        QVERIFY_THROWS_EXCEPTION(EFileError, SaveCsvExport(dir.File("out.csv/x.csv"), "c"));
        QCOMPARE(dir.Read("out.csv"), QByteArray("b\r\n"));
    }

    void exportTarget_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("refused");
        QTest::newRow("items.dat") << "items.dat" << true;
        QTest::newRow("categories.dat") << "categories.dat" << true;
        QTest::newRow("the settings container") << "dbsettings.dat" << true;
        QTest::newRow("through a detour") << "sub/../items.dat" << true;
        QTest::newRow("through a link") << "link.csv" << true;
        QTest::newRow("another file") << "items.csv" << false;
        QTest::newRow("a book file of another folder") << "sub/items.dat" << false;
    }
    void exportTarget()
    {
        QFETCH(QString, name);
        QFETCH(bool, refused);
        TTempAppFolder dir;
        dir.Write("items.dat", "x");
        QDir(dir.Path()).mkdir("sub");
        QFile::link(dir.File("items.dat"), dir.File("link.csv"));
        QCOMPARE(!ExportTargetRefusal(dir.Path(), dir.File(name)).isEmpty(), refused);
    }

    void readBounded_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("read");
        QTest::newRow("at the bound") << qsizetype(100) << true;
        QTest::newRow("one byte over") << qsizetype(101) << false;
        QTest::newRow("empty") << qsizetype(0) << true;
    }
    void readBounded()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, read);
        TTempAppFolder dir;
        dir.Write("in.csv", QByteArray(size, 'a'));
        if (read) {
            QCOMPARE(ReadCsvFile(dir.File("in.csv"), 100).size(), size);
            QCOMPARE(ReadCsv(OpenCsvFile(dir.File("in.csv"), 100), 100).fault, QString());
        } else {
            QVERIFY_THROWS_EXCEPTION(EFileError, ReadCsvFile(dir.File("in.csv"), 100));
            QVERIFY_THROWS_EXCEPTION(EFileError, OpenCsvFile(dir.File("in.csv"), 100));
        }
    }
    void readUnreadable()
    {
        TTempAppFolder dir;
        QVERIFY_THROWS_EXCEPTION(EFileError, ReadCsvFile(dir.File("missing.csv")));
        QVERIFY_THROWS_EXCEPTION(EFileError, ReadCsvFile(dir.Path()));
        // A device tells no size; it is read only up to the bound.
        QVERIFY_THROWS_EXCEPTION(EFileError, ReadCsvFile("/dev/zero", 1000));
        for (const QString &path : {dir.File("missing.csv"), dir.Path(), QStringLiteral("/dev/zero")})
            QVERIFY_THROWS_EXCEPTION(EFileError, OpenCsvFile(path, 1000));
    }

    void preview()
    {
        const TImportPlan plan = PlanCsvImportInto("name,url,username,password,extra\r\n"
                                               "Shop,https://s.example.com,ann,secret,\r\n"
                                               "\"bad\"x,u,b,p,\r\n"
                                               "Caf\xC3\xA9 \xE4\xB8\xAD,u,c,,\r\n",
                                               {});
        TfrmCsvImport dialog;
        dialog.SetPlan(plan, "/tmp/list.csv");
        QCOMPARE(dialog.lvwItems->topLevelItemCount(), 2);
        const QTreeWidgetItem *shop = dialog.lvwItems->topLevelItem(0);
        QCOMPARE(shop->text(2), QString("Shop"));
        QCOMPARE(shop->text(4), QString("ann"));
        QVERIFY(!shop->text(5).isEmpty());
        for (int c = 0; c < shop->columnCount(); ++c)
            QVERIFY(!shop->text(c).contains("secret")); // the preview shows no password
        QCOMPARE(dialog.lvwItems->topLevelItem(1)->text(5), QString()); // none to hide
        QCOMPARE(dialog.lvwNotes->topLevelItemCount(), plan.notes.size());
        QCOMPARE(dialog.lvwNotes->topLevelItem(1)->text(0), QString("4"));
        QVERIFY(dialog.lblSummary->text().contains("\"Imported\""));
        QVERIFY(dialog.lvwColumns->findItems("\"extra\"", Qt::MatchExactly, 1).size() == 1);
        QVERIFY(dialog.btnImport->isEnabled());
        QVERIFY(dialog.btnCancel->isDefault());

        dialog.SetPlan(PlanCsvImportInto("name,password\r\n,\r\n", {}), "/tmp/empty.csv");
        QCOMPARE(dialog.lvwItems->topLevelItemCount(), 0);
        QVERIFY(!dialog.btnImport->isEnabled());
    }

    // The first page marks every row the import changes, with the field and
    // what happens, and lists the rows left out for their secrets among the
    // others; the summary above the pages counts the rows left out and why.
    void preview_marksChangedAndLeftOutRows()
    {
        const TImportPlan plan = PlanCsvImportInto("name,url,username,password\r\n"
                                                   "Shop,https://s.example.com,ann,secret\r\n"
                                                   "Shop,https://s.example.com,bob,secret2\r\n"
                                                   "Bank,https://b.example.com,eve,s\xF0\x9F\x99\x82" "cret\r\n"
                                                   "\"bad\"x,u,b,p\r\n",
                                                   {});
        TfrmCsvImport dialog;
        dialog.SetPlan(plan, "/tmp/list.csv");
        QCOMPARE(dialog.lvwItems->topLevelItemCount(), 3);
        const int changes = dialog.lvwItems->columnCount() - 1;
        QStringList rows;
        for (int i = 0; i < 3; ++i)
            rows << dialog.lvwItems->topLevelItem(i)->text(0) + ' ' + dialog.lvwItems->topLevelItem(i)->text(2);
        QCOMPARE(rows, (QStringList{"2 Shop", "3 Shop (2)", "4 Bank"}));
        QCOMPARE(dialog.lvwItems->topLevelItem(0)->text(changes), QString());
        QVERIFY(dialog.lvwItems->topLevelItem(1)->text(changes).startsWith("Title: "));
        const QTreeWidgetItem *bank = dialog.lvwItems->topLevelItem(2);
        QVERIFY2(bank->text(changes).startsWith("Not imported: Password: "), qPrintable(bank->text(changes)));
        QVERIFY(!bank->toolTip(0).isEmpty());
        for (int c = 0; c < bank->columnCount(); ++c)
            QVERIFY(!bank->text(c).contains("cret") && !bank->toolTip(c).contains("cret"));
        const QString summary = dialog.lblSummary->text();
        QVERIFY2(summary.contains("2 row(s) of the file are not imported: 1 whose username or password the book "
                                  "cannot store exactly (row 4); 1 malformed (row 5)."),
                 qPrintable(summary));
        QVERIFY(summary.contains("2 item(s) will be added"));
    }

    void preview_cutsLongLists()
    {
        QByteArray csv = "name,password\r\n";
        for (int i = 0; i < TfrmCsvImport::kMaxListed + 5; ++i)
            csv += "t" + QByteArray::number(i) + ",p\r\n";
        TfrmCsvImport dialog;
        dialog.SetPlan(PlanCsvImportInto(csv, {}), "x.csv");
        QCOMPARE(dialog.lvwItems->topLevelItemCount(), TfrmCsvImport::kMaxListed + 1);
        QVERIFY(dialog.lvwItems->topLevelItem(TfrmCsvImport::kMaxListed)->text(1).contains("5 more"));
    }
};

QTEST_MAIN(TestCsvTransfer)
#include "test_csv_transfer.moc"

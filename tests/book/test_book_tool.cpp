// tarnwick-book run as a process on throw-away application folders: an export
// imported into an empty folder gives the book's items back, a browser's list
// comes in whole, a running program's lock stops every write, and the search,
// the check and wrong usage answer with their documented exit codes.
#include "book/item_record.h"
#include "support/temp_app_folder.h"
#include "support/tool_run.h"
#include "util/string_list.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using TRun = TToolRun;

TRun Tool(const QStringList &arguments)
{
    return RunTool(QStringLiteral(TARNWICK_BOOK_PATH), arguments);
}

TRun Tool(const TTempAppFolder &folder, const QStringList &arguments)
{
    return Tool(QStringList{"--folder", folder.Path()} + arguments);
}

int Mode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QList<TItemRecord> Items(const TTempAppFolder &folder)
{
    QList<TItemRecord> out;
    for (const QByteArray &line : LoadStringList(folder.File("items.dat")))
        out << ReadItemRecord(line);
    return out;
}

const QByteArray kCategories = "Travel\r\nCaf\xE9s\r\nEmpty\r\n";
// Stored items, a freshly added one, Windows-1252 text, a description with
// line breaks (CR LF escaped as two 0xA5 and two 0xA7), titles that differ
// in case only, and quotes and commas the CSV must carry.
const QByteArray kItems =
    "Travel\xA5Hotels\xA5prog\xA5http://w\xA5http://l\xA5user\xA5p,w\"d\xA5http://a\xA5http://c\xA5$5\xA5"
    "15th\xA5line one\xA5\xA5\xA7\xA7line \"two\"\xA5\r\n"
    "Caf\xE9s\xA5\x80uro \xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n"
    "Travel\xA5" "Flights\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n"
    "Travel\xA5" "flights\xA5x\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n";

} // namespace

class TestBookTool : public QObject
{
    Q_OBJECT
private slots:
    void exportThenImport_reproducesTheItems()
    {
        TTempAppFolder from;
        from.Write("categories.dat", kCategories);
        from.Write("items.dat", kItems);
        TTempAppFolder to;
        const QString csv = to.File("book.csv");
        const TRun exported = Tool(from, {"export", "--csv", csv});
        QCOMPARE(exported.exit, 0);
        QCOMPARE(Mode(csv), 0600);
        const TRun imported = Tool(to, {"import", "--csv", csv});
        QVERIFY2(imported.exit == 0, qPrintable(imported.err));

        const QList<TItemRecord> a = Items(from);
        const QList<TItemRecord> b = Items(to);
        QCOMPARE(b.size(), a.size());
        for (qsizetype i = 0; i < a.size(); ++i) {
            QCOMPARE(b[i].fields, a[i].fields);
            QCOMPARE(b[i].description, a[i].description);
        }
        QCOMPARE(a[0].description, QByteArray("line one\r\nline \"two\""));
        QCOMPARE(to.Read("categories.dat"), QByteArray("Travel\r\nCaf\xE9s\r\n"));
        QCOMPARE(Mode(to.File("items.dat")), 0600);
        QVERIFY(!to.Exists("backups")); // an empty folder has nothing to back up
    }

    void browserList_imports()
    {
        TTempAppFolder folder;
        folder.Write("categories.dat", "Travel\r\n");
        folder.Write("items.dat", "Travel\xA5Hotels\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n");
        folder.Write("list.csv", "name,url,username,password,note\r\n"
                                 "Mail,https://mail.example.com/,joe@example.com,s3cr\xC3\xABt,\r\n"
                                 "Hotels,https://hotels.example.com/,ann,pw,\"a note\"\r\n");
        const TRun dry = Tool(folder, {"import", "--csv", folder.File("list.csv"), "--dry-run"});
        QCOMPARE(dry.exit, 0);
        QVERIFY(dry.out.contains("Would import 2 item(s), 1 new category: \"Imported\""));
        QCOMPARE(Items(folder).size(), 1);

        const TRun run = Tool(folder, {"import", "--csv", folder.File("list.csv")});
        QCOMPARE(run.exit, 0);
        const QList<TItemRecord> items = Items(folder);
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[1].fields[0], QByteArray("Imported"));
        QCOMPARE(items[1].fields[1], QByteArray("Mail"));
        QCOMPARE(items[1].fields[3], QByteArray("https://mail.example.com/"));
        QCOMPARE(items[1].fields[5], QByteArray("joe@example.com"));
        QCOMPARE(items[1].fields[6], QByteArray("s3cr\xEBt"));
        QCOMPARE(items[2].fields[1], QByteArray("Hotels")); // "Hotels" of Travel is another category's
        QCOMPARE(items[2].description, QByteArray("a note"));
        QCOMPARE(folder.Read("categories.dat"), QByteArray("Travel\r\nImported\r\n"));
        // The book as it was is kept first.
        const QStringList backups = QDir(folder.File("backups")).entryList(QDir::Files);
        QCOMPARE(backups.size(), 2);
    }

    // A disk that fills up between the two files: the import writes both or
    // neither, and says why and that the book is unchanged.
    void import_onAFullDisk_leavesTheBookAsItWas()
    {
        TTempAppFolder folder;
        folder.Write("categories.dat", "Travel\r\n");
        folder.Write("items.dat", "Travel\xA5Hotels\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n");
        QByteArray csv = "name,url,username,password,note,folder\r\n";
        for (int i = 0; i < 300; ++i)
            csv += "Site " + QByteArray::number(i) + ",https://site" + QByteArray::number(i)
                   + ".example.com/login,user,password,a note long enough to fill the file,Shops\r\n";
        folder.Write("list.csv", csv);
        const QByteArray categories = folder.Read("categories.dat");
        const QByteArray items = folder.Read("items.dat");

        // Past 16 KiB a file of the tool's takes no more bytes, as on a full
        // disk: the backup and categories.dat fit, items.dat does not.
        QProcess p;
        p.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit lim{};
            getrlimit(RLIMIT_FSIZE, &lim);
            lim.rlim_cur = 16 * 1024;
            setrlimit(RLIMIT_FSIZE, &lim);
        });
        p.start(QStringLiteral(TARNWICK_BOOK_PATH), {"--folder", folder.Path(), "import", "--csv", folder.File("list.csv")});
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains(QDir::toNativeSeparators(folder.File("items.dat")) + "\". File too large. "
                              "The account book is unchanged."),
                 qPrintable(err));
        QCOMPARE(folder.Read("categories.dat"), categories);
        QCOMPARE(folder.Read("items.dat"), items);
        QCOMPARE(QDir(folder.Path()).entryList(QDir::Files),
                 (QStringList{"categories.dat", "items.dat", "list.csv"}));
    }

    // A row whose username or password the book cannot store exactly is
    // left out, the others go in, and the exit status tells a script.
    void import_leavesOutUnstorableSecrets_data()
    {
        QTest::addColumn<bool>("dryRun");
        QTest::newRow("import") << false;
        QTest::newRow("dry run") << true;
    }
    void import_leavesOutUnstorableSecrets()
    {
        QFETCH(bool, dryRun);
        TTempAppFolder folder;
        folder.Write("categories.dat", "Travel\r\n");
        folder.Write("items.dat", "Travel\xA5Hotels\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n");
        folder.Write("list.csv", "name,url,username,password,folder\r\n"
                                 "Mail,https://m.example.com/,joe,\xD0\xBF\xD0\xB0\xD1\x80\xF0\x9F\x99\x82,Lost\r\n"
                                 "Shop,https://s.example.com/,ann,pass\xC2\xA5word,\r\n"
                                 "Coins,https://c.example.com/,\xF0\x9F\x92\xB0,pw,\r\n"
                                 "Wiki,https://w.example.com/,eve,pw\xE2\x82\xAC,Travel\r\n");
        const QByteArray before = folder.Read("items.dat");
        QStringList arguments{"import", "--csv", folder.File("list.csv")};
        if (dryRun)
            arguments << "--dry-run";
        const TRun run = Tool(folder, arguments);
        QCOMPARE(run.exit, 5);
        QVERIFY2(run.out.contains(QStringLiteral("3 row(s) of the file %1 not imported: 3 whose username or password "
                                                 "the book cannot store exactly (rows 2, 3, 4).")
                                      .arg(dryRun ? "are" : "were")),
                 qPrintable(run.out));
        QVERIFY(run.out.contains("Row 3, Password: "));
        if (dryRun) {
            QCOMPARE(folder.Read("items.dat"), before);
            return;
        }
        const QList<TItemRecord> items = Items(folder);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[1].fields[1], QByteArray("Wiki"));
        QCOMPARE(items[1].fields[6], QByteArray("pw\x80"));
        QCOMPARE(folder.Read("categories.dat"), QByteArray("Travel\r\n")); // nothing new for the rows left out
    }

    // While a live process holds the book's lock nothing is written; a lock
    // of a process that is gone is taken over.
    void lock_data()
    {
        QTest::addColumn<bool>("live");
        QTest::newRow("the program runs") << true;
        QTest::newRow("a lock left by a killed program") << false;
    }
    void lock()
    {
        QFETCH(bool, live);
        TTempAppFolder folder;
        folder.Write("categories.dat", "A\r\n");
        folder.Write("items.dat", "A\xA5T\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n");
        folder.Write("list.csv", "name,password\r\nNew,p\r\n");
        QLockFile held(folder.File("tarnwick.lock"));
        if (live) {
            QVERIFY(held.tryLock(0));
        } else {
            // A lock as this machine writes it, of a process that is gone.
            QVERIFY(held.tryLock(0));
            QByteArray lines = folder.Read("tarnwick.lock");
            held.unlock();
            QProcess gone;
            gone.start("sleep", {"0.2"});
            QVERIFY(gone.waitForStarted(10000));
            const qint64 pid = gone.processId();
            QVERIFY(gone.waitForFinished(10000));
            lines = QByteArray::number(pid) + lines.mid(lines.indexOf('\n'));
            folder.Write("tarnwick.lock", lines);
        }
        const QByteArray before = folder.Read("items.dat");
        const TRun run = Tool(folder, {"import", "--csv", folder.File("list.csv")});
        if (live) {
            QCOMPARE(run.exit, 3);
            QVERIFY(run.err.contains("open in the program"));
            QCOMPARE(folder.Read("items.dat"), before);
            QVERIFY(!folder.Exists("backups"));
            // Reading is fine.
            QCOMPARE(Tool(folder, {"import", "--csv", folder.File("list.csv"), "--dry-run"}).exit, 0);
            QCOMPARE(Tool(folder, {"export", "--csv", folder.File("out.csv")}).exit, 0);
            QCOMPARE(Tool(folder, {"search", "t"}).exit, 0);
        } else {
            QVERIFY2(run.exit == 0, qPrintable(run.err));
            QCOMPARE(Items(folder).size(), 2);
            QVERIFY(!folder.Exists("tarnwick.lock")); // released after the write
        }
    }

    void search_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("out");
        QTest::newRow("title") << QStringList{"search", "hotel"} << "Travel / Hotels\n";
        QTest::newRow("accents and case") << QStringList{"search", "CAFES"} << "Caf\u00E9s / \u20ACuro \n";
        QTest::newRow("category matches every item") << QStringList{"search", "travel"}
                                                     << "Travel / Hotels\nTravel / Flights\nTravel / flights\n";
        QTest::newRow("never the password") << QStringList{"search", "p,w"} << "";
        QTest::newRow("text after --") << QStringList{"search", "--", "-x"} << "";
        QTest::newRow("several words are one text") << QStringList{"search", "line", "one"} << "Travel / Hotels\n";
        QTest::newRow("several words not found together") << QStringList{"search", "line", "two"} << "";
    }
    void search()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        TTempAppFolder folder;
        folder.Write("categories.dat", kCategories);
        folder.Write("items.dat", kItems);
        const TRun run = Tool(folder, arguments);
        QCOMPARE(run.exit, 0);
        QCOMPARE(run.out, out);
    }

    void search_showsNoControlCharacters()
    {
        TTempAppFolder folder;
        folder.Write("categories.dat", "A\r\n");
        folder.Write("items.dat", "A\xA5T\x1B]0;x\x07\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n");
        QCOMPARE(Tool(folder, {"search", "T"}).out, QString("A / T?]0;x?\n"));
    }

    void check_data()
    {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("sound") << kItems << 0 << QStringList{};
        QTest::newRow("missing category and duplicate")
            << kItems + "Gone\xA5T\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n"
                        "Travel\xA5Hotels\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n"
            << 4 << QStringList{"items.dat:5:", "items.dat:6:"};
        QTest::newRow("too short") << QByteArray("no delimiter\r\n") << 4 << QStringList{"items.dat:1:"};
        QTest::newRow("a line cut in half") << kItems + "Travel\xA5Trains\xA5prog\xA5http://w\r\n" << 4
                                            << QStringList{"items.dat:5: \"Trains\" in \"Travel\": the record is cut "
                                                           "short"};
    }
    void check()
    {
        QFETCH(QByteArray, items);
        QFETCH(int, exit);
        QFETCH(QStringList, lines);
        TTempAppFolder folder;
        folder.Write("categories.dat", kCategories);
        folder.Write("items.dat", items);
        const TRun run = Tool(folder, {"check"});
        QCOMPARE(run.exit, exit);
        QStringList found = run.out.split('\n', Qt::SkipEmptyParts);
        QVERIFY(found.takeLast().contains(QStringLiteral("%1 finding(s)").arg(lines.size())));
        QCOMPARE(found.size(), lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(found[i].startsWith(lines[i]), qPrintable(found[i]));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exit");
        QTest::newRow("no command") << QStringList{} << 2;
        QTest::newRow("unknown command") << QStringList{"delete"} << 2;
        QTest::newRow("export without a file") << QStringList{"export"} << 2;
        QTest::newRow("dry run of an export") << QStringList{"export", "--csv", "x", "--dry-run"} << 2;
        QTest::newRow("search without text") << QStringList{"search"} << 2;
        QTest::newRow("check with an argument") << QStringList{"check", "x"} << 2;
        QTest::newRow("a file given to search") << QStringList{"search", "x", "--csv", "y"} << 2;
        QTest::newRow("unknown option") << QStringList{"check", "--force"} << 2;
        QTest::newRow("help") << QStringList{"--help"} << 0;
        QTest::newRow("a missing file to import") << QStringList{"import", "--csv", "/nonexistent/x.csv"} << 1;
        QTest::newRow("export over the book") << QStringList{"export", "--csv", "@items.dat"} << 1;
    }
    void usage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exit);
        TTempAppFolder folder;
        folder.Write("items.dat", kItems);
        for (QString &a : arguments)
            if (a.startsWith('@'))
                a = folder.File(a.mid(1));
        const TRun run = Tool(folder, arguments);
        QCOMPARE(run.exit, exit);
        QCOMPARE(folder.Read("items.dat"), kItems);
        if (exit == 2) {
            QVERIFY(run.err.contains("--help"));
            QVERIFY(run.err.contains("Usage: tarnwick-book [--folder DIR] COMMAND"));
        }
    }

    // A folder that is not there fails the command; the wording was right.
    // One password on a line of its own, of the length and classes asked
    // for; anything the generator refuses is wrong usage.
    void generate_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exit");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("allowed"); // a pattern every character fits
        QTest::newRow("default") << QStringList{} << 0 << 20 << "[!-~]";
        QTest::newRow("digits") << QStringList{"--length", "64", "--classes", "digits"} << 0 << 64 << "[0-9]";
        QTest::newRow("letters without look-alikes")
            << QStringList{"--classes", "lower,upper", "--avoid-look-alikes", "--length", "128"} << 0 << 128
            << "[a-km-zA-HJ-NP-Z]";
        QTest::newRow("accented letters the book holds") << QStringList{"--classes", "accented"} << 0 << 20
                                                         << "[\\x{80}-\\x{ff}\\x{152}\\x{153}\\x{160}\\x{161}\\x{178}"
                                                            "\\x{17d}\\x{17e}\\x{192}]";
        QTest::newRow("too short") << QStringList{"--length", "7"} << 2 << 0 << "";
        QTest::newRow("too long") << QStringList{"--length", "129"} << 2 << 0 << "";
        QTest::newRow("not a number") << QStringList{"--length", "twenty"} << 2 << 0 << "";
        QTest::newRow("no class") << QStringList{"--classes", ""} << 2 << 0 << "";
        QTest::newRow("an unknown class") << QStringList{"--classes", "lower,emoji"} << 2 << 0 << "";
        QTest::newRow("an argument") << QStringList{"x"} << 2 << 0 << "";
    }
    void generate()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exit);
        QFETCH(int, length);
        QFETCH(QString, allowed);
        const TRun run = Tool(QStringList{"generate"} + arguments);
        QCOMPARE(run.exit, exit);
        if (exit != 0) {
            QVERIFY(run.err.contains("--help"));
            QCOMPARE(run.out, QString());
            return;
        }
        QVERIFY(run.out.endsWith('\n'));
        const QString password = run.out.chopped(1);
        QVERIFY2(QRegularExpression(QStringLiteral("^%1{%2}$").arg(allowed).arg(length)).match(password).hasMatch(),
                 qPrintable(password));
        QVERIFY(!password.contains(QChar(0xA5)));
        QVERIFY(Tool(QStringList{"generate"} + arguments).out != run.out);
    }

    void generateOptions_belongToGenerate()
    {
        QCOMPARE(Tool({"check", "--length", "20"}).exit, 2);
    }

    void folder_mustExist_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << "/nonexistent/folder";
        QTest::newRow("a file") << "@items.dat";
    }
    void folder_mustExist()
    {
        QFETCH(QString, folder);
        TTempAppFolder app;
        app.Write("items.dat", kItems);
        if (folder.startsWith('@'))
            folder = app.File(folder.mid(1));
        const TRun run = Tool({"--folder", folder, "check"});
        QCOMPARE(run.exit, 1);
        QVERIFY(run.err.contains("is not a folder"));
    }

    // The same file imported again adds nothing and is no failure; what was
    // left out as already there is told.
    void import_twice_addsNothing()
    {
        TTempAppFolder folder;
        folder.Write("categories.dat", "Travel\r\n");
        folder.Write("items.dat", "Travel\xA5Hotels\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n");
        folder.Write("list.csv", "name,url,username,password,folder\r\n"
                                 "Hotels,https://h.example.com/,ann,pw,Travel\r\n"
                                 "Mail,https://m.example.com/,joe,s3cret,\r\n");
        QCOMPARE(Tool(folder, {"import", "--csv", folder.File("list.csv")}).exit, 0);
        const QByteArray categories = folder.Read("categories.dat");
        const QByteArray items = folder.Read("items.dat");
        QCOMPARE(Items(folder).size(), 3);
        const TRun again = Tool(folder, {"import", "--csv", folder.File("list.csv")});
        QCOMPARE(again.exit, 0);
        QVERIFY2(again.out.contains("2 row(s) of the file were not imported: 2 already in the book (rows 2, 3)."),
                 qPrintable(again.out));
        QCOMPARE(folder.Read("items.dat"), items);
        QCOMPARE(folder.Read("categories.dat"), categories);
    }
};

QTEST_GUILESS_MAIN(TestBookTool)
#include "test_book_tool.moc"

// tarnwick-book on protected books, run as a process: the password comes from
// standard input or the terminal, never from nowhere; a wrong one exits 6 and
// writes nothing; protecting leaves no readable password in the folder; the
// program's lock stops every command that writes; and a CSV of any script goes
// in and comes out byte for byte.
#include "book/book_folder.h"
#include "book/protected_book.h"
#include "support/temp_app_folder.h"

#include <QDirIterator>
#include <QLockFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

const TKdfParameters kFast{2, 8192 * 4};
const QByteArray kPassword = "p\xC3\xA4ss \xF0\x9F\x94\x91";

const QByteArray kCategories = "Travel\r\nShops\r\n";
const QByteArray kItems = "Travel\xA5Hotels\xA5prog\xA5w\xA5l\xA5hotel-user\xA5hotel-s3cret\xA5\xA5\xA5\xA5\xA5line\xA5\r\n"
                          "Shops\xA5" "Books\xA5\xA5\xA5\xA5shop-user\xA5shop-s3cret\xA5\xA5\xA5\xA5\xA5\xA5\r\n";
const QByteArrayList kSecrets = {"hotel-s3cret", "shop-s3cret", "hotel-user"};

struct TRun
{
    int exit = -1;
    QString out;
    QString err;
};

// `detached`: in a session of its own, without a controlling terminal.
TRun Tool(const TTempAppFolder &folder, const QStringList &arguments, const QByteArray &input,
          bool detached = false)
{
    QProcess p;
    if (detached)
        p.setChildProcessModifier([] { ::setsid(); });
    p.start(QStringLiteral(TARNWICK_BOOK_PATH), QStringList{"--folder", folder.Path()} + arguments);
    p.write(input);
    p.closeWriteChannel();
    TRun run;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exit = p.exitCode();
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

QMap<QString, QByteArray> Snapshot(const TTempAppFolder &dir)
{
    QMap<QString, QByteArray> all;
    QDirIterator it(dir.Path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        all.insert(path.mid(dir.Path().size()), dir.Read(path.mid(dir.Path().size())));
    }
    return all;
}

// A protected folder made at the suite's cost, not the tool's calibration.
void MakeProtected(const TTempAppFolder &dir)
{
    dir.Write("categories.dat", kCategories);
    dir.Write("items.dat", kItems);
    TBookFolder folder(dir.Path());
    QCOMPARE(folder.Load(), QString());
    const TProtection done = ProtectBook(folder, kPassword, kFast);
    QCOMPARE(done.error, QString());
    QCOMPARE(RemoveFiles(done.removable), QString());
}

// A protected book beside a list to import, with "@name" in `arguments`
// made the path of that file.
QStringList ProtectedWithList(const TTempAppFolder &dir, QStringList arguments)
{
    MakeProtected(dir);
    dir.Write("in.csv", "name,password\r\nNew,p\r\n");
    for (QString &a : arguments)
        if (a.startsWith('@'))
            a = dir.File(a.mid(1));
    return arguments;
}

} // namespace

class TestBookToolProtected : public QObject
{
    Q_OBJECT
private slots:
    void protect_leavesNoPasswordReadable()
    {
        TTempAppFolder dir;
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", kItems);
        // An earlier plain backup holds the passwords too.
        QDir(dir.Path()).mkdir("backups");
        dir.Write("backups/20260101-120000-000-items.dat", kItems);
        dir.Write("backups/20260101-120000-000-categories.dat", kCategories);
        const TRun run = Tool(dir, {"--password-stdin", "protect"}, kPassword + "\n");
        QVERIFY2(run.exit == 0, qPrintable(run.err));
        const auto files = Snapshot(dir);
        QCOMPARE(files.keys(), QStringList{"book.tarnwick"});
        for (const QByteArray &bytes : files)
            for (const QByteArray &secret : kSecrets)
                QVERIFY(!bytes.contains(secret));
        const TRun search = Tool(dir, {"--password-stdin", "search", "HOTEL"}, kPassword + "\n");
        QCOMPARE(search.exit, 0);
        QCOMPARE(search.out, QString("Travel / Hotels\n"));
    }

    void wrongPassword_exitsSixAndWritesNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("search") << QStringList{"search", "x"} << QByteArray("wrong\n");
        QTest::newRow("check") << QStringList{"check"} << QByteArray("wrong\n");
        QTest::newRow("export") << QStringList{"export", "--csv", "@out.csv"} << QByteArray("wrong\n");
        QTest::newRow("import") << QStringList{"import", "--csv", "@in.csv"} << QByteArray("wrong\n");
        QTest::newRow("unprotect") << QStringList{"unprotect"} << QByteArray("wrong\n");
        QTest::newRow("passwd") << QStringList{"passwd"} << QByteArray("wrong\nnew\n");
        // The password is the whole first line: a blank more is another one.
        QTest::newRow("trailing blank") << QStringList{"search", "x"} << kPassword + " \n";
        QTest::newRow("nothing on standard input") << QStringList{"search", "x"} << QByteArray();
    }
    void wrongPassword_exitsSixAndWritesNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        TTempAppFolder dir;
        arguments = ProtectedWithList(dir, arguments);
        const auto before = Snapshot(dir);
        const TRun run = Tool(dir, QStringList{"--password-stdin"} + arguments, input);
        QCOMPARE(run.exit, 6);
        QVERIFY2(run.err.contains("password is wrong"), qPrintable(run.err));
        QCOMPARE(Snapshot(dir), before);
    }

    void noTerminal_andNoStdinOption_isRefusedAtOnce()
    {
        TTempAppFolder dir;
        MakeProtected(dir);
        const auto before = Snapshot(dir);
        const TRun run = Tool(dir, {"search", "x"}, kPassword + "\n", true);
        QCOMPARE(run.exit, 1);
        QVERIFY(run.err.contains("--password-stdin"));
        QCOMPARE(Snapshot(dir), before);
    }

    void lock_stopsEveryWrite_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("import") << QStringList{"import", "--csv", "@in.csv"};
        QTest::newRow("unprotect") << QStringList{"unprotect"};
        QTest::newRow("passwd") << QStringList{"passwd"};
    }
    void lock_stopsEveryWrite()
    {
        QFETCH(QStringList, arguments);
        TTempAppFolder dir;
        arguments = ProtectedWithList(dir, arguments);
        QLockFile held(dir.File("tarnwick.lock"));
        QVERIFY(held.tryLock(0));
        const auto before = Snapshot(dir);
        const TRun run = Tool(dir, QStringList{"--password-stdin"} + arguments, kPassword + "\nnew\n");
        QCOMPARE(run.exit, 3);
        QCOMPARE(Snapshot(dir), before);
    }

    void protect_refusedWhileOpen()
    {
        TTempAppFolder dir;
        dir.Write("categories.dat", kCategories);
        dir.Write("items.dat", kItems);
        QLockFile held(dir.File("tarnwick.lock"));
        QVERIFY(held.tryLock(0));
        const auto before = Snapshot(dir);
        QCOMPARE(Tool(dir, {"--password-stdin", "protect"}, "pw\n").exit, 3);
        QCOMPARE(Snapshot(dir), before);
    }

    void anyScript_importsAndExportsByteForByte()
    {
        TTempAppFolder dir;
        MakeProtected(dir);
        const QByteArray header = "Category,Title,Affiliate Program,Website URL,Login URL,Username,Password,"
                                  "Affiliate Link,Cloaked URL,Min Payout,Payment Day,Description\r\n";
        const QByteArray rows =
            "\xD0\x9F\xD0\xBE\xD1\x87\xD1\x82\xD0\xB0,\xE9\x83\xB5\xE4\xBE\xBF,,,,\xD1\x8E\xD0\xB7\xD0\xB5\xD1\x80,"
            "\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\xF0\x9F\x94\x91\xC2\xA5,,,,,\"two\r\nlines \xE0\xA5\xA5\"\r\n";
        dir.Write("in.csv", header + rows);
        const TRun in = Tool(dir, {"--password-stdin", "import", "--csv", dir.File("in.csv")}, kPassword + "\n");
        QVERIFY2(in.exit == 0, qPrintable(in.err + in.out));
        const TRun out = Tool(dir, {"--password-stdin", "export", "--csv", dir.File("out.csv")}, kPassword + "\n");
        QCOMPARE(out.exit, 0);
        const QByteArray exported = dir.Read("out.csv");
        QVERIFY2(exported.endsWith(rows), exported.constData());
        QVERIFY(!dir.Read("book.tarnwick").contains("\xD0\xBF\xD0\xB0\xD1\x80"));
    }

    void passwd_thenRemove()
    {
        TTempAppFolder dir;
        MakeProtected(dir);
        QCOMPARE(Tool(dir, {"--password-stdin", "passwd"}, kPassword + "\n\n").exit, 1); // empty new password
        const TRun changed = Tool(dir, {"--password-stdin", "passwd"}, kPassword + "\nn\xC3\xAAw\n");
        QVERIFY2(changed.exit == 0, qPrintable(changed.err));
        QCOMPARE(Tool(dir, {"--password-stdin", "check"}, kPassword + "\n").exit, 6);
        QCOMPARE(Tool(dir, {"--password-stdin", "check"}, "n\xC3\xAAw\n").exit, 0);
        const TRun removed = Tool(dir, {"--password-stdin", "unprotect"}, "n\xC3\xAAw\n");
        QVERIFY2(removed.exit == 0, qPrintable(removed.err));
        QVERIFY(!dir.Exists("book.tarnwick"));
        QCOMPARE(dir.Read("categories.dat"), kCategories);
        QCOMPARE(Tool(dir, {"search", "hotel"}, {}).out, QString("Travel / Hotels\n"));
        QVERIFY(dir.Read("items.dat").contains("hotel-s3cret"));
    }

    // Ended by a signal at the password prompt, where echo is off, the tool
    // gives the terminal its echo back: else the shell shows nothing typed.
    // A signal ignored from the start (nohup) stays ignored there.
    void signalAtThePrompt_leavesTheTerminalEchoing_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("ignored");
        QTest::newRow("Ctrl+C") << SIGINT << false;
        QTest::newRow("terminated") << SIGTERM << false;
        QTest::newRow("hung up") << SIGHUP << false;
        QTest::newRow("hung up under nohup: the password is still read") << SIGHUP << true;
    }
    void signalAtThePrompt_leavesTheTerminalEchoing()
    {
        QFETCH(int, signal);
        QFETCH(bool, ignored);
        TTempAppFolder dir;
        MakeProtected(dir);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const QByteArray terminal = ::ptsname(master);
        const QByteArray tool = TARNWICK_BOOK_PATH;
        const QByteArray folder = dir.Path().toLocal8Bit();
        const pid_t pid = ::fork();
        if (pid == 0) {
            // A session whose controlling terminal is the new one.
            ::setsid();
            const int fd = ::open(terminal.constData(), O_RDWR);
            ::dup2(fd, 0);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            if (ignored)
                ::signal(signal, SIG_IGN);
            ::execl(tool.constData(), "tarnwick-book", "--folder", folder.constData(), "search", "Hotels", nullptr);
            ::_exit(127);
        }
        const int watch = ::open(terminal.constData(), O_RDWR | O_NOCTTY);
        const auto echoing = [watch] {
            termios modes{};
            return ::tcgetattr(watch, &modes) == 0 && (modes.c_lflag & ECHO);
        };
        QTRY_VERIFY_WITH_TIMEOUT(!echoing(), 20000);
        ::kill(pid, signal);
        if (ignored) {
            const QByteArray line = kPassword + "\n";
            QCOMPARE(::write(master, line.constData(), size_t(line.size())), ssize_t(line.size()));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (ignored)
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(status)));
        else
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        QVERIFY(echoing());
        ::close(watch);
        ::close(master);
    }
};

QTEST_GUILESS_MAIN(TestBookToolProtected)
#include "test_book_tool_protected.moc"

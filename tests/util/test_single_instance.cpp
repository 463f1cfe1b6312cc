// One running copy per application folder, with real processes: the test
// starts copies of itself that claim a folder and report what they were told.
#include "support/temp_app_folder.h"
#include "util/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

// The child: claims `folder` and prints the outcome. The first copy stays and
// prints "activated" for every request; "--lock-only" holds the lock file
// without answering, as a copy that hangs would.
int RunChild(const QString &mode, const QString &folder)
{
    if (mode == "--lock-only") {
        QLockFile lock(folder + TSingleInstance::kLockFileName);
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            return 2;
        std::printf("locked\n");
        std::fflush(stdout);
        for (;;)
            QThread::sleep(1);
    }
    TSingleInstance instance(folder);
    const TSingleInstance::TClaim claim = instance.Claim(1000);
    const char *names[] = {"first", "handed", "unreachable"};
    std::printf("%s\n", names[int(claim)]);
    std::fflush(stdout);
    if (claim != TSingleInstance::TClaim::First)
        return 0;
    QObject::connect(&instance, &TSingleInstance::activationRequested, [] {
        std::printf("activated\n");
        std::fflush(stdout);
    });
    return QCoreApplication::exec();
}

class TCopy
{
public:
    explicit TCopy(const QString &folder, const QString &mode = "--claim")
    {
        process.start(QCoreApplication::applicationFilePath(), {mode, folder});
    }
    ~TCopy()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    // The next line the copy prints, or an empty text after `ms`.
    QByteArray Line(int ms = 10000)
    {
        QElapsedTimer t;
        t.start();
        while (!process.canReadLine() && t.elapsed() < ms)
            process.waitForReadyRead(100);
        return process.readLine().trimmed();
    }
    void Kill()
    {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished(5000);
    }
    QProcess process;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondStart_data()
    {
        QTest::addColumn<bool>("sameFolder");
        QTest::addColumn<QByteArray>("secondHears");
        QTest::addColumn<bool>("firstActivated");
        QTest::newRow("same folder: handed to the running copy") << true << QByteArray("handed") << true;
        QTest::newRow("another folder: runs on its own") << false << QByteArray("first") << false;
    }
    void secondStart()
    {
        QFETCH(bool, sameFolder);
        QFETCH(QByteArray, secondHears);
        QFETCH(bool, firstActivated);
        TTempAppFolder a;
        TTempAppFolder b;
        TCopy first(a.Path());
        QCOMPARE(first.Line(), QByteArray("first"));
        TCopy second(sameFolder ? a.Path() : b.Path());
        QCOMPARE(second.Line(), secondHears);
        if (secondHears == "handed") {
            QVERIFY(second.process.waitForFinished(5000));
            QCOMPARE(second.process.exitCode(), 0);
        }
        QCOMPARE(first.Line(firstActivated ? 10000 : 300), firstActivated ? QByteArray("activated") : QByteArray());
        QCOMPARE(first.process.state(), QProcess::Running);
    }

    void lockOfAKilledCopy_isTakenOver()
    {
        TTempAppFolder a;
        {
            TCopy killed(a.Path());
            QCOMPARE(killed.Line(), QByteArray("first"));
            killed.Kill();
        }
        QVERIFY(a.Exists(TSingleInstance::kLockFileName)); // left behind
        TCopy next(a.Path());
        QCOMPARE(next.Line(), QByteArray("first"));
        // And the new one answers in its turn.
        TCopy third(a.Path());
        QCOMPARE(third.Line(), QByteArray("handed"));
        QCOMPARE(next.Line(), QByteArray("activated"));
    }

    void aCopyThatDoesNotAnswer_isReportedNotOverrun()
    {
        TTempAppFolder a;
        TCopy hung(a.Path(), "--lock-only");
        QCOMPARE(hung.Line(), QByteArray("locked"));
        TCopy second(a.Path());
        QCOMPARE(second.Line(), QByteArray("unreachable"));
    }

    void serverName_followsTheFolderNotItsSpelling()
    {
        TTempAppFolder a;
        TTempAppFolder b;
        QCOMPARE(TSingleInstance::ServerName(a.Path()), TSingleInstance::ServerName(a.Path() + "./"));
        QCOMPARE(TSingleInstance::ServerName(a.Path()),
                 TSingleInstance::ServerName(a.Path() + "../" + QDir(a.Path()).dirName() + "/"));
        QVERIFY(TSingleInstance::ServerName(a.Path()) != TSingleInstance::ServerName(b.Path()));
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]).startsWith("--"))
        return RunChild(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_single_instance.moc"

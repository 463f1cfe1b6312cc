// One running copy per application folder, with real processes: the test
// starts copies of itself that claim a folder and report what they were told.
#include "support/local_sockets.h"
#include "support/temp_app_folder.h"
#include "util/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

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
    if (claim == TSingleInstance::TClaim::First) {
        QObject::connect(&instance, &TSingleInstance::activationRequested, [] {
            std::printf("activated\n");
            std::fflush(stdout);
        });
        QObject::connect(&instance, &TSingleInstance::terminationRequested, qApp, &QCoreApplication::quit);
        instance.WatchTermination();
    }
    const char *names[] = {"first", "handed", "unreachable"};
    std::printf("%s\n", names[int(claim)]);
    std::fflush(stdout);
    if (claim != TSingleInstance::TClaim::First)
        return 0;
    return QCoreApplication::exec();
}

class TCopy
{
public:
    explicit TCopy(const QString &folder, const QString &mode = "--claim",
                   const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(env);
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

// Makes `path` someone else's, as only root can; false elsewhere.
bool GiveAway(const QString &path)
{
    return ::geteuid() == 0 && ::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
}

// A temporary folder for the copies and a runtime folder, and the
// environment that points the copies at them.
struct TSocketPlaces
{
    QTemporaryDir tmp;
    QTemporaryDir runtimeParent;
    QString runtime = runtimeParent.filePath(QStringLiteral("run"));
    QString fallback = tmp.filePath(QStringLiteral("tarnwick-") + QString::number(::geteuid()));

    TSocketPlaces() { QDir().mkdir(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); }

    QProcessEnvironment Environment(bool withRuntime) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), tmp.path());
        if (withRuntime)
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        else
            env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        return env;
    }
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

    // The socket lies in the session's runtime folder only when that is the
    // user's own and shut to others; else in a folder of the user's own in
    // the temporary folder; never in one someone else made or can write to.
    void socketFolder_data()
    {
        QTest::addColumn<QString>("runtime");  // "private", "open", "foreign", "link", "unset"
        QTest::addColumn<QString>("fallback"); // "", "open", "foreign", "link": made so before the start
        QTest::addColumn<QString>("socketIn"); // "runtime", "fallback", "nowhere"
        QTest::newRow("private runtime folder") << "private" << "" << "runtime";
        QTest::newRow("runtime folder writable by all") << "open" << "" << "fallback";
        QTest::newRow("runtime folder of another user") << "foreign" << "" << "fallback";
        QTest::newRow("runtime folder is a link") << "link" << "" << "fallback";
        QTest::newRow("no runtime folder") << "unset" << "" << "fallback";
        QTest::newRow("fallback writable by all") << "unset" << "open" << "nowhere";
        QTest::newRow("fallback of another user") << "unset" << "foreign" << "nowhere";
        QTest::newRow("fallback is a link") << "unset" << "link" << "nowhere";
    }
    void socketFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(QString, socketIn);
        TSocketPlaces places;
        TTempAppFolder a;
        const QByteArray runtimePath = QFile::encodeName(places.runtime);
        if (runtime == u"open") {
            QVERIFY(::chmod(runtimePath.constData(), 0777) == 0);
        } else if (runtime == u"foreign") {
            if (!GiveAway(places.runtime))
                QSKIP("giving a folder to another user needs root");
        } else if (runtime == u"link") {
            QVERIFY(QDir(places.runtime).removeRecursively());
            QDir().mkdir(places.runtimeParent.filePath(QStringLiteral("real")),
                         QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QVERIFY(QFile::link(places.runtimeParent.filePath(QStringLiteral("real")), places.runtime));
        }
        if (!fallback.isEmpty()) {
            const QString target = places.tmp.filePath(QStringLiteral("elsewhere"));
            QDir().mkdir(fallback == u"link" ? target : places.fallback,
                         QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            if (fallback == u"open")
                QVERIFY(::chmod(QFile::encodeName(places.fallback).constData(), 0777) == 0);
            else if (fallback == u"foreign" && !GiveAway(places.fallback))
                QSKIP("giving a folder to another user needs root");
            else if (fallback == u"link")
                QVERIFY(QFile::link(target, places.fallback));
        }
        const QProcessEnvironment env = places.Environment(runtime != u"unset");
        TCopy first(a.Path(), "--claim", env);
        QCOMPARE(first.Line(), QByteArray("first"));
        QCOMPARE(SocketsIn(places.runtime), socketIn == u"runtime" ? 1 : 0);
        QCOMPARE(SocketsIn(places.fallback), socketIn == u"fallback" ? 1 : 0);
        QCOMPARE(SocketsIn(places.tmp.path()), 0);
        // Without a socket the book stays safe: a second copy does not run it.
        TCopy second(a.Path(), "--claim", env);
        QCOMPARE(second.Line(), socketIn == u"nowhere" ? QByteArray("unreachable") : QByteArray("handed"));
    }

    // Another user who made the fallback folder first and listens in it is
    // never asked anything: the second copy does not hand the book to it.
    void squatterInTheFallbackFolder_isNeverActivated()
    {
        TSocketPlaces places;
        TTempAppFolder a;
        // The name a copy would use there, found while the folder is ours.
        const QByteArray oldTmp = qgetenv("TMPDIR");
        const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(places.tmp.path()));
        qunsetenv("XDG_RUNTIME_DIR");
        const QString name = TSingleInstance::ServerName(a.Path());
        oldTmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTmp);
        if (!oldRuntime.isNull())
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
        QVERIFY(name.startsWith(places.fallback + u'/'));
        QLocalServer squatter;
        QVERIFY(squatter.listen(name));
        if (!GiveAway(places.fallback))
            QVERIFY(::chmod(QFile::encodeName(places.fallback).constData(), 0777) == 0);

        TCopy first(a.Path(), "--claim", places.Environment(false));
        QCOMPARE(first.Line(), QByteArray("first"));
        TCopy second(a.Path(), "--claim", places.Environment(false));
        QCOMPARE(second.Line(), QByteArray("unreachable"));
        bool timedOut = false;
        QVERIFY(!squatter.waitForNewConnection(0, &timedOut));
    }

    // SIGTERM ends the copy through its usual path: its socket and its lock
    // are gone afterwards.
    void terminatedCopy_removesItsSocketAndLock()
    {
        TSocketPlaces places;
        TTempAppFolder a;
        TCopy copy(a.Path(), "--claim", places.Environment(true));
        QCOMPARE(copy.Line(), QByteArray("first"));
        QCOMPARE(SocketsIn(places.runtime), 1);
        QVERIFY(a.Exists(TSingleInstance::kLockFileName));
        ::kill(pid_t(copy.process.processId()), SIGTERM);
        QVERIFY(copy.process.waitForFinished(10000));
        QCOMPARE(copy.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.process.exitCode(), 0);
        QCOMPARE(SocketsIn(places.runtime), 0);
        QVERIFY(!a.Exists(TSingleInstance::kLockFileName));
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

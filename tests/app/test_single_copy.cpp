// The program itself, started twice in one folder: the second start hands
// over to the first and ends without writing anything. And its start after
// an update that was cut short, and its end on SIGTERM.
#include "support/local_sockets.h"
#include "support/temp_app_folder.h"
#include "updater/update_journal.h"
#include "util/single_instance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

// The folder's files with their sizes and times, to see that nothing changed.
QStringList Listing(const QString &folder)
{
    QStringList out;
    for (const QFileInfo &i : QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                                         QDir::Name))
        out << i.fileName() + " " + QString::number(i.size()) + " "
                   + QString::number(i.lastModified().toMSecsSinceEpoch());
    return out;
}

bool Answers(const QString &folder)
{
    QLocalSocket socket;
    socket.connectToServer(TSingleInstance::ServerName(folder));
    return socket.waitForConnected(200);
}

} // namespace

class TestSingleCopy : public QObject
{
    Q_OBJECT
private slots:
    void secondStartInTheSameFolder_handsOverAndWritesNothing()
    {
        TTempAppFolder dir;
        const QString exe = dir.File("tarnwick");
        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_EXE), exe));
        dir.Write("categories.dat", "Travel\r\n");

        QProcess first;
        first.setProcessChannelMode(QProcess::ForwardedChannels);
        first.start(exe, {});
        QVERIFY(first.waitForStarted());
        QElapsedTimer t;
        t.start();
        while (!Answers(dir.Path()) && t.elapsed() < 30000)
            QTest::qWait(100);
        QVERIFY2(Answers(dir.Path()), "the first copy never listened");
        const QStringList before = Listing(dir.Path());

        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedChannels);
        second.start(exe, {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(Listing(dir.Path()), before);
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        first.waitForFinished(10000);
    }

    // The socket lies in the session's runtime folder, and SIGTERM closes the
    // program as a user would: the socket and the lock go with it.
    void terminatedProgram_leavesNoSocketBehind()
    {
        TTempAppFolder dir;
        const QString exe = dir.File("tarnwick");
        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_EXE), exe));
        QTemporaryDir runtime;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(exe, {});
        QVERIFY(program.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(SocketsIn(runtime.path()), 1, 30000);
        QVERIFY(dir.Exists(TSingleInstance::kLockFileName));

        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(SocketsIn(runtime.path()), 0);
        QVERIFY(!dir.Exists(TSingleInstance::kLockFileName));
    }

    // An update killed half-way is undone by the program's next start before
    // anything else happens (its message then waits for the user).
    void startAfterAnInterruptedUpdate_putsTheOldFilesBack()
    {
        TTempAppFolder dir;
        const QString exe = dir.File("tarnwick");
        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_EXE), exe));
        dir.Write("README", "Tarnwick 2.0\n");
        dir.Write("categories.dat", "Travel\r\n");
        const auto names = [&] {
            return QDir(dir.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        };
        const QStringList before = names();
        // Killed after the readme and a new file went in.
        QVERIFY(QFile::copy(dir.File("README"), dir.File(UpdateJournal::KeptName("README"))));
        dir.Write("README", "Tarnwick 2.5\n");
        dir.Write("tarnwick.metainfo.xml", "<component/>");
        dir.Write(UpdateJournal::JournalName,
                  UpdateJournal::Format({"2.0", "2.5", false, {{"README", true}, {"tarnwick.metainfo.xml", false}}}));

        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(exe, {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!dir.Exists(UpdateJournal::JournalName), 30000);
        QCOMPARE(dir.Read("README"), QByteArray("Tarnwick 2.0\n"));
        QCOMPARE(names(), before);
        program.kill();
        program.waitForFinished(10000);
    }
};

QTEST_GUILESS_MAIN(TestSingleCopy)
#include "test_single_copy.moc"

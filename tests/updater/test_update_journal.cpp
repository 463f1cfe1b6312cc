// An update's swap cut short at each of its steps, by a child process that
// dies there, and what the next start finds: one whole version, never a mix.
// And the journal read as what it is, a file anyone who can write the folder
// can forge.
#include "support/temp_app_folder.h"
#include "updater/update_journal.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace UpdateJournal;

namespace {

struct TFileSpec
{
    const char *name;
    QByteArray oldBytes; // empty: not installed before
    QByteArray newBytes;
    int mode;
};

// In the order they are swapped: three replaced, one new.
const QList<TFileSpec> kRelease = {
    {"tarnwick", "#!/bin/sh\necho 2.0\n", "#!/bin/sh\necho 2.5\n", 0755},
    {"tarnwick-webengine.so", "plugin of 2.0", "plugin of 2.5, larger", 0644},
    {"README", "Tarnwick 2.0\n", "Tarnwick 2.5\n", 0644},
    {"tarnwick.metainfo.xml", "", "<component/>", 0644},
};

void Write(const QString &path, const QByteArray &bytes, int mode)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode_t(mode));
}

// Every entry of the folder, hidden ones too, with its mode and bytes.
QMap<QString, QByteArray> Snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st;
        ::lstat(QFile::encodeName(path).constData(), &st);
        QFile f(path);
        files[QDir(folder).relativeFilePath(path)] =
            QByteArray::number(st.st_mode, 8) + ':' + (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    return files;
}

// An installed 2.0 with the user's files, and 2.5 downloaded beside it.
struct TInstalled
{
    TTempAppFolder dir;
    QMap<QString, QByteArray> oldVersion;
    QMap<QString, QByteArray> newVersion;

    TInstalled()
    {
        dir.Write("items.dat", "Shops\xA5One\xA5\r\n");
        dir.Write("tarnwick.ini", "[Window]\n");
        Write(dir.File("Updater"), "updater", 0755);
        for (const TFileSpec &f : kRelease)
            if (!f.oldBytes.isEmpty())
                Write(dir.File(f.name), f.oldBytes, f.mode);
        oldVersion = Snapshot(dir.Path());
        for (const TFileSpec &f : kRelease)
            Write(dir.File(f.name), f.newBytes, f.mode);
        newVersion = Snapshot(dir.Path());
        for (const TFileSpec &f : kRelease) {
            if (f.oldBytes.isEmpty())
                QFile::remove(dir.File(f.name));
            else
                Write(dir.File(f.name), f.oldBytes, f.mode);
            // Downloads are owner-only until they are swapped in.
            Write(dir.File(StagedName(f.name)), f.newBytes, 0600);
        }
    }

    QStringList ChildArguments(const QString &how, int step) const
    {
        QStringList args{dir.Path(), how, QString::number(step)};
        for (const TFileSpec &f : kRelease)
            args << QString::fromLatin1(f.name) + u':' + QString::number(f.mode, 8);
        return args;
    }
};

} // namespace

class TestUpdateJournal : public QObject
{
    Q_OBJECT
private slots:
    // The swap's steps: the journal, then keeping and renaming each of the
    // three installed files, renaming the new one (8 steps that can still be
    // undone); marking the journal installed, removing the three kept files
    // and the journal (5 that finish it).
    void killedSwap_leavesOneWholeVersion_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("newVersion");
        QTest::addColumn<TOutcome>("outcome");
        const char *names[] = {"journal written",          "program kept",          "program renamed",
                               "plugin kept",              "plugin renamed",        "readme kept",
                               "readme renamed",           "new file renamed",      "journal marked installed",
                               "kept program removed",     "kept plugin removed",   "kept readme removed",
                               "journal removed"};
        for (int step = 1; step <= 13; ++step)
            QTest::newRow(names[step - 1]) << step << (step > 8)
                                           << (step <= 8 ? TOutcome::RolledBack
                                                         : step < 13 ? TOutcome::Completed : TOutcome::Nothing);
        QTest::newRow("not killed") << 0 << true << TOutcome::Nothing;
    }
    void killedSwap_leavesOneWholeVersion()
    {
        QFETCH(int, step);
        QFETCH(bool, newVersion);
        QFETCH(TOutcome, outcome);
        TInstalled folder;
        QProcess child;
        child.start(QStringLiteral(SWAP_KILL_CHILD), folder.ChildArguments(QStringLiteral("kill"), step));
        QVERIFY(child.waitForFinished(30000));
        if (step > 0) {
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(child.exitCode(), 0);
            QCOMPARE(child.readAll().trimmed(), QByteArray("installed 13 steps"));
        }

        // The next start of the program or of the updater.
        const TRecovery recovery = Recover(folder.dir.Path());
        QCOMPARE(recovery.outcome, outcome);
        QCOMPARE(Snapshot(folder.dir.Path()), newVersion ? folder.newVersion : folder.oldVersion);
        const QString told = RecoveryMessage(recovery);
        QCOMPARE(told.isEmpty(), outcome != TOutcome::RolledBack);
        if (outcome == TOutcome::RolledBack)
            QVERIFY2(told.contains(QStringLiteral("version 2.0")) && told.contains(QStringLiteral("version 2.5")),
                     qPrintable(told));
        // Told once: the start after that finds nothing.
        const TRecovery again = Recover(folder.dir.Path());
        QCOMPARE(again.outcome, TOutcome::Nothing);
        QVERIFY(RecoveryMessage(again).isEmpty());
    }

    // A swap that is still running is left alone, whoever starts meanwhile;
    // once its process is gone, its swap is undone.
    void runningSwap_isLeftAlone_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("first file renamed") << 3;
        QTest::newRow("all renamed") << 8;
    }
    void runningSwap_isLeftAlone()
    {
        QFETCH(int, step);
        TInstalled folder;
        QProcess child;
        child.start(QStringLiteral(SWAP_KILL_CHILD), folder.ChildArguments(QStringLiteral("pause"), step));
        QVERIFY(child.waitForReadyRead(30000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("paused"));
        const QMap<QString, QByteArray> during = Snapshot(folder.dir.Path());
        const TRecovery meanwhile = Recover(folder.dir.Path());
        QCOMPARE(meanwhile.outcome, TOutcome::Busy);
        QVERIFY(RecoveryMessage(meanwhile).isEmpty());
        QCOMPARE(Snapshot(folder.dir.Path()), during);

        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(Recover(folder.dir.Path()).outcome, TOutcome::RolledBack);
        QCOMPARE(Snapshot(folder.dir.Path()), folder.oldVersion);
    }

    // Whatever the journal says, nothing outside the folder, nothing of the
    // user's and nothing through a link is touched.
    void forgedJournal_touchesNothingElse_data()
    {
        QTest::addColumn<QByteArray>("journal"); // "@link": the journal is a link to a good one
        QTest::addColumn<bool>("keptIsLink");
        QTest::addColumn<TOutcome>("outcome");
        const QByteArray head = "tarnwick-update-journal 1\nfrom 2.0\nto 2.5\nstate replacing\n";
        QTest::newRow("parent folder") << head + "new ../victim\n" << false << TOutcome::Damaged;
        QTest::newRow("absolute path") << head + "new /victim\n" << false << TOutcome::Damaged;
        QTest::newRow("sub-folder") << head + "old backups/x\n" << false << TOutcome::Damaged;
        QTest::newRow("user's book") << head + "new items.dat\n" << false << TOutcome::Damaged;
        QTest::newRow("window settings") << head + "new tarnwick.ini\n" << false << TOutcome::Damaged;
        QTest::newRow("hidden name") << head + "new .README.update-old\n" << false << TOutcome::Damaged;
        QTest::newRow("not UTF-8") << head + "new READ\xffME\n" << false << TOutcome::Damaged;
        QTest::newRow("same file twice") << head + "new README\nold README\n" << false << TOutcome::Damaged;
        QTest::newRow("unknown state") << QByteArray(head).replace("replacing", "undone") + "new README\n" << false
                                       << TOutcome::Damaged;
        QTest::newRow("version with a command") << QByteArray(head).replace("2.0", "2.0;rm") << false
                                                << TOutcome::Damaged;
        QTest::newRow("cut short") << head + "new READ" << false << TOutcome::Damaged;
        QTest::newRow("too large") << head + QByteArray(MaxJournalSize, '\n') << false << TOutcome::Damaged;
        QTest::newRow("journal is a link") << QByteArray("@link") << false << TOutcome::Damaged;
        QTest::newRow("kept file is a link") << head + "old README\n" << true << TOutcome::Incomplete;
    }
    void forgedJournal_touchesNothingElse()
    {
        QFETCH(QByteArray, journal);
        QFETCH(bool, keptIsLink);
        QFETCH(TOutcome, outcome);
        QTemporaryDir root;
        QDir().mkpath(root.filePath(QStringLiteral("app/backups")));
        const QString app = root.filePath(QStringLiteral("app")) + u'/';
        Write(root.filePath(QStringLiteral("victim")), "not the program's", 0644);
        Write(app + QStringLiteral("README"), "Tarnwick 2.0\n", 0644);
        Write(app + QStringLiteral("items.dat"), "Shops\r\n", 0600);
        Write(app + QStringLiteral("tarnwick.ini"), "[Window]\n", 0600);
        Write(app + QStringLiteral("backups/x"), "backup", 0600);
        const QString journalPath = app + QLatin1String(JournalName);
        if (journal == "@link") {
            Write(root.filePath(QStringLiteral("good.journal")),
                  "tarnwick-update-journal 1\nfrom 2.0\nto 2.5\nstate replacing\nnew README\n", 0600);
            QVERIFY(QFile::link(root.filePath(QStringLiteral("good.journal")), journalPath));
        } else {
            Write(journalPath, journal, 0600);
        }
        if (keptIsLink)
            QVERIFY(QFile::link(root.filePath(QStringLiteral("victim")), app + KeptName(QStringLiteral("README"))));
        const QMap<QString, QByteArray> before = Snapshot(root.path());

        const TRecovery recovery = Recover(app);
        QCOMPARE(recovery.outcome, outcome);
        QVERIFY(!RecoveryMessage(recovery).isEmpty());
        QMap<QString, QByteArray> after = Snapshot(root.path());
        // Only the journal itself may go; the rest is as it was.
        QMap<QString, QByteArray> expected = before;
        if (outcome == TOutcome::Damaged)
            expected.remove(QStringLiteral("app/") + QLatin1String(JournalName));
        QCOMPARE(after, expected);
    }

    // A swap whose journal a recovery could not read back, or that would
    // overwrite the journal of an earlier one, does not begin.
    void swapRefused_changesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("an earlier journal is there") << "journal";
        QTest::newRow("same file twice") << "twice";
        QTest::newRow("user file") << "user file";
        QTest::newRow("version the journal cannot hold") << "version";
    }
    void swapRefused_changesNothing()
    {
        QFETCH(QString, fault);
        TInstalled folder;
        QList<TSwapFile> files;
        for (const TFileSpec &f : kRelease)
            files.append({QString::fromLatin1(f.name), f.mode});
        QString to = QStringLiteral("2.5");
        if (fault == u"journal")
            folder.dir.Write(JournalName, "left by a swap that was cut short\n");
        else if (fault == u"twice")
            files.append(files.first());
        else if (fault == u"user file")
            files.append({QStringLiteral("tarnwick.ini"), 0644});
        else
            to = QStringLiteral("2.5\nnew tarnwick");
        const QMap<QString, QByteArray> before = Snapshot(folder.dir.Path());
        const TSwapResult result = Swap(folder.dir.Path(), QStringLiteral("2.0"), to, files);
        QVERIFY(!result.ok);
        QVERIFY(!result.failure.isEmpty());
        QCOMPARE(Snapshot(folder.dir.Path()), before);
    }

    void journal_roundTrip()
    {
        const TJournal journal{QStringLiteral("2.0"),
                               QStringLiteral("2.5"),
                               true,
                               {{QStringLiteral("tarnwick"), true}, {QStringLiteral("Read me first.txt"), false}}};
        QString error;
        const std::optional<TJournal> back = Parse(Format(journal), error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(*back, journal);
    }
};

QTEST_GUILESS_MAIN(TestUpdateJournal)
#include "test_update_journal.moc"

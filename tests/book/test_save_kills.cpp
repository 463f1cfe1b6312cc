// A copy killed in the middle of saving never leaves a book file missing,
// cut short or mixed: a child process saves a large book over and over and is
// killed at random moments; after every kill each file is one whole version.
#include "save_kills_book.h"
#include "support/temp_app_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <QBuffer>

#include <csignal>

namespace {

// The payload book.tarnwick holds, or what made it unreadable.
QByteArray Decrypted(QByteArray file, const TBookKeyPtr &key)
{
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    try {
        const TProtectedContents read = ReadProtectedFile(in, "book.tarnwick", key);
        return QByteArray(read.payload->Data(), read.payload->Size());
    } catch (const EFileError &e) {
        return e.message().toUtf8();
    }
}

} // namespace

class TestSaveKills : public QObject
{
    Q_OBJECT
private slots:
    void killedWhileSaving_leavesWholeVersions_data()
    {
        QTest::addColumn<int>("kills");
        QTest::addColumn<int>("maxDelayMs");
        QTest::newRow("kills within the first save") << 100 << 4;
        QTest::newRow("kills spread over several saves") << 100 << 40;
    }
    void killedWhileSaving_leavesWholeVersions()
    {
        QFETCH(int, kills);
        QFETCH(int, maxDelayMs);
        TTempAppFolder dir;
        const QByteArray cats[2] = {CategoriesBytes(0), CategoriesBytes(1)};
        const QByteArray items[2] = {ItemsBytes(0), ItemsBytes(1)};
        dir.Write("categories.dat", cats[0]);
        dir.Write("items.dat", items[0]);

        QRandomGenerator random(20261209u + quint32(kills));
        int changedItems = 0;
        QByteArray lastItems = items[0];
        for (int k = 0; k < kills; ++k) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(SAVE_KILLS_CHILD), {dir.Path()});
            // Killed once it is saving, not while it starts.
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(10000));
            QThread::msleep(random.bounded(maxDelayMs + 1));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(5000));
            QVERIFY2(child.exitStatus() == QProcess::CrashExit, "the child stopped by itself");

            const QByteArray c = dir.Read("categories.dat");
            const QByteArray i = dir.Read("items.dat");
            QVERIFY2(c == cats[0] || c == cats[1], qPrintable(QString("categories.dat after kill %1: %2 bytes")
                                                                  .arg(k).arg(c.size())));
            QVERIFY2(i == items[0] || i == items[1], qPrintable(QString("items.dat after kill %1: %2 bytes")
                                                                    .arg(k).arg(i.size())));
            changedItems += i != lastItems;
            lastItems = i;
        }
        // Saves did finish between the kills: the kills met every stage.
        QVERIFY2(changedItems > 0 || maxDelayMs < 10, "no save finished between the kills");
        // Backups are whole too.
        const QDir backups(dir.Path() + "backups");
        for (const QString &name : backups.entryList(QDir::Files)) {
            QFile f(backups.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray b = f.readAll();
            QVERIFY2(b == cats[0] || b == cats[1] || b == items[0] || b == items[1], qPrintable(name));
        }
    }


    // The same for the protected book: its one file is always a whole
    // encrypted version that opens, never one cut short, and so is every
    // backup of it.
    void protectedBook_killedWhileSaving_opensWhole()
    {
        TTempAppFolder dir;
        const TBookKeyPtr key = TBookKey::Derive(SaveKillsPassword(), SaveKillsKdf(), SaveKillsSalt());
        const QByteArray payloads[2] = {ProtectedPayload(0), ProtectedPayload(1)};
        QRandomGenerator random(20261210u);
        int changed = 0;
        QByteArray last;
        for (int k = 0; k < 60; ++k) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QStringLiteral(SAVE_KILLS_PROTECTED_CHILD), {dir.Path()});
            QVERIFY(child.waitForStarted());
            QVERIFY(child.waitForReadyRead(10000));
            QThread::msleep(random.bounded(41));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(5000));
            if (!dir.Exists("book.tarnwick"))
                continue; // killed before its first save
            const QByteArray now = Decrypted(dir.Read("book.tarnwick"), key);
            QVERIFY2(now == payloads[0] || now == payloads[1], qPrintable(QString("after kill %1: %2").arg(k).arg(QString::fromUtf8(now.left(200)))));
            changed += now != last;
            last = now;
        }
        QVERIFY2(changed > 1, "no save finished between the kills");
        const QDir backups(dir.Path() + "backups");
        for (const QString &name : backups.entryList(QDir::Files)) {
            const QByteArray b = Decrypted(dir.Read("backups/" + name), key);
            QVERIFY2(b == payloads[0] || b == payloads[1], qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(TestSaveKills)

#include "test_save_kills.moc"

// A copy killed in the middle of saving never leaves a book file missing,
// cut short or mixed: a child process saves a large book over and over and is
// killed at random moments; after every kill each file is one whole version.
#include "book/book_backups.h"
#include "support/temp_app_folder.h"
#include "util/string_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <csignal>

namespace {

// Two versions of a book of a few megabytes. They differ in size and in
// every record, so a cut or a mix of the two shows.
TStringList Categories(int version)
{
    TStringList list;
    for (int c = 0; c < 200; ++c)
        list.append("Category " + QByteArray::number(c) + (version ? " renamed" : ""));
    return list;
}

TStringList Items(int version)
{
    TStringList list;
    const QByteArray filler(version ? 40 : 25, version ? 'b' : 'a');
    for (int i = 0; i < 20000; ++i)
        list.append("Category " + QByteArray::number(i % 200) + "\xA5Item " + QByteArray::number(i) + "\xA5"
                    + filler + "\xA5http://example.test/" + QByteArray::number(i * version) + "\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5");
    return list;
}

// The child: saves the other version of both files, without end, as the
// window does (backup first, then the atomic rewrite).
int SaveForever(const QString &folder)
{
    const TStringList categories[2] = {Categories(0), Categories(1)};
    const TStringList items[2] = {Items(0), Items(1)};
    const QByteArray firstItems = JoinLines(items[0]);
    TBookBackups backups(folder);
    for (;;) {
        QFile current(folder + "items.dat");
        const int next = current.open(QIODevice::ReadOnly) && current.readAll() == firstItems ? 1 : 0;
        current.close();
        backups.BeforeReplace();
        SaveStringList(folder + "categories.dat", categories[next]);
        backups.BeforeReplace();
        SaveStringList(folder + "items.dat", items[next]);
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
        QTest::newRow("early kills, often before the first write") << 60 << 15;
        QTest::newRow("kills spread over several saves") << 160 << 60;
    }
    void killedWhileSaving_leavesWholeVersions()
    {
        QFETCH(int, kills);
        QFETCH(int, maxDelayMs);
        TTempAppFolder dir;
        const QByteArray cats[2] = {JoinLines(Categories(0)), JoinLines(Categories(1))};
        const QByteArray items[2] = {JoinLines(Items(0)), JoinLines(Items(1))};
        dir.Write("categories.dat", cats[0]);
        dir.Write("items.dat", items[0]);

        QRandomGenerator random(20261209u + quint32(kills));
        int changedItems = 0;
        QByteArray lastItems = items[0];
        for (int k = 0; k < kills; ++k) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedChannels);
            child.start(QCoreApplication::applicationFilePath(), {"--save-forever", dir.Path()});
            QVERIFY(child.waitForStarted());
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
        // The kills did land during the saving, not only before or after it.
        QVERIFY2(changedItems > 0, "no save finished between the kills");
        // Backups are whole too.
        const QDir backups(dir.Path() + "backups");
        for (const QString &name : backups.entryList(QDir::Files)) {
            QFile f(backups.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray b = f.readAll();
            QVERIFY2(b == cats[0] || b == cats[1] || b == items[0] || b == items[1], qPrintable(name));
        }
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--save-forever")
        return SaveForever(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestSaveKills test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_save_kills.moc"

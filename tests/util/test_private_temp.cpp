#include "util/private_temp.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

// The number of a process that has ended.
qint64 EndedProcess()
{
    QProcess p;
    p.start(QStringLiteral("/bin/true"), {});
    p.waitForStarted();
    const qint64 pid = p.processId();
    p.waitForFinished();
    return pid;
}

} // namespace

class TestPrivateTemp : public QObject
{
    Q_OBJECT
private slots:
    void leftovers_data()
    {
        QTest::addColumn<QString>("name"); // %1: the process number
        QTest::addColumn<QString>("pid");  // "ended", "self", "other program"
        QTest::addColumn<QString>("kind"); // "dir", "file", "link", "foreign dir"
        QTest::addColumn<bool>("removed");
        const QString ours = QStringLiteral("tarnwick-private-html-%1-aB3xYz");
        QTest::newRow("killed run") << ours << "ended" << "dir" << true;
        QTest::newRow("this run") << ours << "self" << "dir" << false;
        QTest::newRow("number taken by another program") << ours << "other program" << "dir" << true;
        QTest::newRow("a file of that name") << ours << "ended" << "file" << false;
        QTest::newRow("a link of that name") << ours << "ended" << "link" << false;
        QTest::newRow("another user's") << ours << "ended" << "foreign dir" << false;
        QTest::newRow("another prefix") << "tarnwick-privat-html-%1-aB3xYz" << "ended" << "dir" << false;
        QTest::newRow("no number") << "tarnwick-private-html-x%1-aB3xYz" << "ended" << "dir" << false;
        QTest::newRow("something after") << "tarnwick-private-html-%1-aB3xYz.keep" << "ended" << "dir" << false;
    }
    void leftovers()
    {
        QFETCH(QString, name);
        QFETCH(QString, pid);
        QFETCH(QString, kind);
        QFETCH(bool, removed);
        if (kind == u"foreign dir" && geteuid() != 0)
            QSKIP("needs to hand a folder to another user");
        QTemporaryDir root;
        QTemporaryDir elsewhere; // what a link points to
        QProcess other;
        if (pid == u"other program") {
            other.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
            QVERIFY(other.waitForStarted());
        }
        const auto stopOther = qScopeGuard([&] {
            other.kill();
            other.waitForFinished();
        });
        const qint64 number = pid == u"self"    ? QCoreApplication::applicationPid()
                              : pid == u"ended" ? EndedProcess()
                                                : other.processId();
        const QString path = root.filePath(name.arg(number));
        QFile keep(elsewhere.filePath(QStringLiteral("keep")));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        if (kind == u"file") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == u"link") {
            QVERIFY(QFile::link(elsewhere.path(), path));
        } else {
            QVERIFY(QDir().mkpath(path + QStringLiteral("/inner")));
            QFile f(path + QStringLiteral("/inner/document-1.html"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<p>x</p>");
            f.close();
            // A link inside is removed, not followed.
            QVERIFY(QFile::link(elsewhere.path(), path + QStringLiteral("/outside")));
            if (kind == u"foreign dir")
                QCOMPARE(chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        }
        QCOMPARE(PrivateTemp::RemoveLeftovers(root.path()), removed ? 1 : 0);
        QCOMPARE(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !removed);
        QVERIFY(QFileInfo::exists(elsewhere.filePath(QStringLiteral("keep"))));
    }

    // The folders the program makes are private and recognised as its own.
    void templateMakesRecognisedPrivateFolders()
    {
        QTemporaryDir root;
        QTemporaryDir made(PrivateTemp::Template(QStringLiteral("html"), root.path()));
        QVERIFY(made.isValid());
        const QFileInfo info(made.path());
        QVERIFY(QRegularExpression(QStringLiteral("^tarnwick-private-html-%1-[A-Za-z0-9]{6}$")
                                       .arg(QCoreApplication::applicationPid()))
                    .match(info.fileName())
                    .hasMatch());
        QCOMPARE(info.permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(PrivateTemp::RemoveLeftovers(root.path()), 0);
        QVERIFY(info.exists());
    }

    void processBecomesUndumpable()
    {
        QVERIFY(MakeProcessUndumpable());
        QCOMPARE(prctl(PR_GET_DUMPABLE, 0, 0, 0, 0), 0);
    }
};

QTEST_GUILESS_MAIN(TestPrivateTemp)
#include "test_private_temp.moc"

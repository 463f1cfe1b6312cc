// The desktop's menu entry for an application folder, and the options that
// answer without a window.
#include "app/desktop_entry.h"
#include "settings/branding_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestDesktopEntry : public QObject
{
    Q_OBJECT
private slots:
    void execValue_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("exec");
        QTest::newRow("plain") << "/home/ann/Tarnwick/tarnwick" << QByteArray("\"/home/ann/Tarnwick/tarnwick\"");
        QTest::newRow("blank") << "/home/ann/My Apps/tarnwick" << QByteArray("\"/home/ann/My Apps/tarnwick\"");
        QTest::newRow("quote") << "/a\"b/tarnwick" << QByteArray("\"/a\\\\\"b/tarnwick\"");
        QTest::newRow("dollar and backtick") << "/$HOME`x`/t" << QByteArray("\"/\\\\$HOME\\\\`x\\\\`/t\"");
        QTest::newRow("backslash") << "/a\\b/t" << QByteArray("\"/a\\\\\\\\b/t\"");
        QTest::newRow("percent is no field code") << "/100%u/t" << QByteArray("\"/100%%u/t\"");
        QTest::newRow("non-ASCII") << "/home/jürgen/t" << QByteArray("\"/home/j\xC3\xBCrgen/t\"");
        QTest::newRow("line break") << "/a\nExec=evil/t" << QByteArray();
        QTest::newRow("tab") << "/a\tb/t" << QByteArray();
    }
    void execValue()
    {
        QFETCH(QString, program);
        QFETCH(QByteArray, exec);
        QCOMPARE(DesktopEntry::ExecValue(program), exec);
    }

    void installWritesEntryAndIcon()
    {
        QTemporaryDir root;
        const QString app = root.filePath(QStringLiteral("My Tarnwick"));
        const QString data = root.filePath(QStringLiteral("data"));
        QDir().mkpath(app);
        QFile svg(app + QStringLiteral("/tarnwick.svg"));
        QVERIFY(svg.open(QIODevice::WriteOnly));
        svg.write("<svg/>");
        svg.close();
        QString error;
        QVERIFY2(DesktopEntry::Install(app, data, error), qPrintable(error));
        QFile entry(data + QStringLiteral("/applications/org.tarnwick.Tarnwick.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray text = entry.readAll();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        QVERIFY(text.contains("\nExec=\"" + app.toUtf8() + "/tarnwick\"\n"));
        QVERIFY(text.contains("\nPath=" + app.toUtf8() + "\n"));
        QVERIFY(text.contains("\nIcon=tarnwick\n"));
        QFile icon(data + QStringLiteral("/icons/hicolor/scalable/apps/tarnwick.svg"));
        QVERIFY(icon.open(QIODevice::ReadOnly));
        QCOMPARE(icon.readAll(), QByteArray("<svg/>"));
        // A folder whose name a desktop entry cannot carry writes nothing.
        QVERIFY(!DesktopEntry::Install(root.filePath(QStringLiteral("a\nb")), data + QStringLiteral("2"), error));
        QVERIFY(!QFile::exists(data + QStringLiteral("2")));
    }

    // Installing, again and again, lays out the application folder and never
    // touches the user's files in it.
    void installKeepsUserFiles()
    {
        QTemporaryDir app;
        const QMap<QString, QByteArray> user = {{QStringLiteral("categories.dat"), "Shops\r\n"},
                                                {QStringLiteral("items.dat"), "Shops\xA5One\xA5\r\n"},
                                                {QStringLiteral("dbsettings.dat"), "container"},
                                                {QStringLiteral("browser/Cookies"), "cookie"}};
        for (auto it = user.cbegin(); it != user.cend(); ++it) {
            QDir().mkpath(QFileInfo(app.filePath(it.key())).absolutePath());
            QFile f(app.filePath(it.key()));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(it.value());
        }
        for (int round = 0; round < 2; ++round) {
            QProcess install;
            install.start(QStringLiteral(CMAKE_EXE),
                          {QStringLiteral("--install"), QStringLiteral(BUILD_DIR), QStringLiteral("--prefix"), app.path()});
            QVERIFY(install.waitForFinished(60000));
            QCOMPARE(install.exitCode(), 0);
        }
        for (const QString &name : {QStringLiteral("tarnwick"), QStringLiteral("Updater")})
            QVERIFY2(QFileInfo(app.filePath(name)).isExecutable(), qPrintable(name));
        for (const QString &name : {QStringLiteral("README"), QStringLiteral("tarnwick.svg"),
                                    QStringLiteral("org.tarnwick.Tarnwick.desktop"),
                                    QStringLiteral("org.tarnwick.Tarnwick.metainfo.xml")})
            QVERIFY2(QFileInfo(app.filePath(name)).isFile(), qPrintable(name));
        for (auto it = user.cbegin(); it != user.cend(); ++it) {
            QFile f(app.filePath(it.key()));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), it.value());
        }
        QFile metainfo(app.filePath(QStringLiteral("org.tarnwick.Tarnwick.metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QVERIFY(metainfo.readAll().contains("<release version=\"" + QByteArray(AppVersion) + "\"/>"));
    }

    void versionOption()
    {
        QProcess p;
        p.start(QStringLiteral(TARNWICK_EXE), {QStringLiteral("--version")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(), QByteArray(AppVersion) + "\n");
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "test_desktop_entry.moc"

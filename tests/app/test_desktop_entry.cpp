// The desktop's menu entry for an application folder, and the options that
// answer without a window.
#include "app/desktop_entry.h"
#include "brand_fixtures.h"
#include "settings/branding_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An application folder below `root`, branded `brand` (none when empty),
// with a publisher's icon when `icon`.
QString BrandedFolder(const QTemporaryDir &root, const QString &name, const QByteArray &brand, bool icon)
{
    const QString folder = root.filePath(name) + u'/';
    QDir().mkpath(folder);
    if (!brand.isEmpty())
        WriteContainer(folder, Tagged("ApplicationName", brand) + "\r\n");
    if (icon) {
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(Qt::red);
        image.save(folder + QStringLiteral("main.ico"), "ICO");
    }
    return folder;
}

// The entries below `dataHome`: file name to the value of Name=.
QMap<QString, QByteArray> Entries(const QString &dataHome)
{
    QMap<QString, QByteArray> names;
    const QDir dir(dataHome + QStringLiteral("/applications"));
    for (const QString &file : dir.entryList(QDir::Files)) {
        const QByteArray text = ReadAll(dir.filePath(file));
        const qsizetype at = text.indexOf("\nName=") + 6;
        names[file] = text.mid(at, text.indexOf('\n', at) - at);
    }
    return names;
}

} // namespace

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

    // The brand's name on one line, whatever the container holds.
    void entryName_data()
    {
        QTest::addColumn<QByteArray>("brand");
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("none") << QByteArray() << QByteArray("Tarnwick");
        QTest::newRow("brand") << QByteArray("Acme Books") << QByteArray("Acme Books");
        QTest::newRow("line break planting a key")
            << QByteArray("Acme\r\nExec=/bin/evil") << QByteArray("Acme Exec=/bin/evil");
        QTest::newRow("blanks only") << QByteArray(" \t ") << QByteArray("Tarnwick");
        QTest::newRow("backslash") << QByteArray("A\\B") << QByteArray("A\\\\B");
    }
    void entryName()
    {
        QFETCH(QByteArray, brand);
        QFETCH(QByteArray, name);
        QCOMPARE(DesktopEntry::EntryName(brand), name);
        const QByteArray id = DesktopEntry::EntryId(QStringLiteral("/home/ann/Acme"), brand);
        // A desktop-file id: dot-separated elements of letters, digits, _ and -.
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+$"))
                     .match(QString::fromLatin1(id))
                     .hasMatch(),
                 id.constData());
    }

    // Two entries side by side: each brand and each folder has its own, and
    // removing one leaves the other whole.
    void twoEntriesSideBySide_data()
    {
        QTest::addColumn<QByteArray>("firstBrand");
        QTest::addColumn<QByteArray>("secondBrand");
        QTest::addColumn<bool>("icons");
        QTest::newRow("two brands") << QByteArray("Acme Books") << QByteArray("Zeta Tools") << true;
        QTest::newRow("one brand in two folders") << QByteArray("Acme Books") << QByteArray("Acme Books") << true;
        QTest::newRow("two unbranded folders") << QByteArray() << QByteArray() << false;
        QTest::newRow("brand beside unbranded") << QByteArray("Acme Books") << QByteArray() << false;
    }
    void twoEntriesSideBySide()
    {
        QFETCH(QByteArray, firstBrand);
        QFETCH(QByteArray, secondBrand);
        QFETCH(bool, icons);
        QTemporaryDir root;
        const QString data = root.filePath(QStringLiteral("data"));
        const QString first = BrandedFolder(root, QStringLiteral("first"), firstBrand, icons);
        const QString second = BrandedFolder(root, QStringLiteral("second"), secondBrand, icons);
        QString error;
        QVERIFY2(DesktopEntry::Install(first, data, error), qPrintable(error));
        const QMap<QString, QByteArray> firstOnly = Entries(data);
        QVERIFY2(DesktopEntry::Install(second, data, error), qPrintable(error));
        QVERIFY2(DesktopEntry::Install(second, data, error), qPrintable(error)); // again: still one entry
        const QMap<QString, QByteArray> both = Entries(data);
        QCOMPARE(both.size(), 2);
        QCOMPARE(QSet<QByteArray>(both.cbegin(), both.cend()),
                 (QSet<QByteArray>{DesktopEntry::EntryName(firstBrand), DesktopEntry::EntryName(secondBrand)}));
        const QStringList brandIcons =
            QDir(data + QStringLiteral("/icons/hicolor/256x256/apps")).entryList(QDir::Files);
        QCOMPARE(brandIcons.size(), icons ? 2 : 0);
        for (const QString &icon : brandIcons)
            QVERIFY(QImage::fromData(ReadAll(data + QStringLiteral("/icons/hicolor/256x256/apps/") + icon)).width() == 64);

        QVERIFY2(DesktopEntry::Remove(second, data, error), qPrintable(error));
        QCOMPARE(Entries(data), firstOnly);
        QCOMPARE(QDir(data + QStringLiteral("/icons/hicolor/256x256/apps")).entryList(QDir::Files).size(),
                 icons ? 1 : 0);
    }

    // The entry earlier versions wrote for every folder goes when its folder
    // gets its own; another folder's stays.
    void earlierEntryOfTheFolderGoes()
    {
        QTemporaryDir root;
        const QString data = root.filePath(QStringLiteral("data"));
        const QString app = BrandedFolder(root, QStringLiteral("app"), "Acme Books", false);
        const QString earlier = data + QStringLiteral("/applications/org.tarnwick.Tarnwick.desktop");
        for (const QString &folder : {root.filePath(QStringLiteral("other")), app}) {
            QDir().mkpath(QFileInfo(earlier).absolutePath());
            QFile f(earlier);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(DesktopEntry::Text(folder));
            f.close();
            QString error;
            QVERIFY(DesktopEntry::Install(app, data, error));
            QCOMPARE(QFileInfo::exists(earlier), folder != app);
        }
    }

    // The program's own option, under a temporary XDG_DATA_HOME.
    void installAndRemoveOptions()
    {
        QTemporaryDir root;
        const QString app = BrandedFolder(root, QStringLiteral("app"), "Acme Books", true);
        QVERIFY(QFile::copy(QStringLiteral(TARNWICK_EXE), app + QStringLiteral("tarnwick")));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
        for (const QString &option : {QStringLiteral("--install-desktop-entry"), QStringLiteral("--remove-desktop-entry")}) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(app + QStringLiteral("tarnwick"), {option});
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitCode(), 0);
            const QMap<QString, QByteArray> entries = Entries(root.filePath(QStringLiteral("data")));
            if (option.startsWith(QStringLiteral("--install"))) {
                QCOMPARE(entries.values(), QList<QByteArray>{"Acme Books"});
                QVERIFY(entries.firstKey().startsWith(QStringLiteral("org.tarnwick.Tarnwick.AcmeBooks_")));
            } else {
                QVERIFY(entries.isEmpty());
            }
        }
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
        QFile entry(data + QStringLiteral("/applications/") + QString::fromLatin1(DesktopEntry::EntryId(app, {})) +
                    QStringLiteral(".desktop"));
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

// make dist's packing script, run on a stand-in build folder whose install
// lays out the real desktop entry and users' README: what the archive is
// called and what its folder holds, with and without a brand.
#include "brand_fixtures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList FilesOf(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A configured build folder as far as the packing script reads one.
void StandInBuild(const QString &build)
{
    WriteAll(build + QStringLiteral("/release-identity.cmake"),
             "set(TARNWICK_VERSION \"2.5\")\nset(TARNWICK_TRUSTS_DEVELOPMENT_KEY ON)\n");
    const QByteArray install =
        "file(INSTALL \"" SOURCE_DIR "/packaging/org.tarnwick.Tarnwick.desktop\" \"" USERS_README "\"\n"
        "     DESTINATION \"${CMAKE_INSTALL_PREFIX}\")\n"
        "file(WRITE \"${CMAKE_INSTALL_PREFIX}/tarnwick\" \"program\")\n";
    WriteAll(build + QStringLiteral("/cmake_install.cmake"), install);
    QDir().mkpath(build + QStringLiteral("/tools"));
    QFile::link(QStringLiteral(TARNWICK_BRAND_PATH), build + QStringLiteral("/tools/tarnwick-brand"));
}

struct TPack
{
    int exit = -1;
    QByteArray output;
};

TPack Pack(const QString &build, const QString &brand)
{
    QStringList args{QStringLiteral("-DBUILD_DIR=") + build, QStringLiteral("-DALLOW_DEVELOPMENT_KEY=yes")};
    if (!brand.isEmpty())
        args << QStringLiteral("-DBRAND_DIR=") + brand;
    args << QStringLiteral("-P") << QStringLiteral(SOURCE_DIR "/packaging/dist.cmake");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(CMAKE_EXE), args);
    if (!p.waitForFinished(60000))
        return {};
    return {p.exitCode(), p.readAll()};
}

} // namespace

class TestBrandedDist : public QObject
{
    Q_OBJECT
private slots:
    void archive_data()
    {
        QTest::addColumn<QByteArray>("brandName"); // empty: no BRAND
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("folder");
        QTest::newRow("no brand") << QByteArray() << "tarnwick-2.5-linux-x86_64-DEVELOPMENT-KEY.tar.gz"
                                  << "Tarnwick";
        QTest::newRow("brand") << QByteArray("Acme Books") << "acme-books-2.5-linux-x86_64-DEVELOPMENT-KEY.tar.gz"
                               << "Acme-Books";
        QTest::newRow("name with folder parts") << QByteArray("../../Evil Co") << "evil-co-2.5-linux-x86_64-DEVELOPMENT-KEY.tar.gz"
                                                << "Evil-Co";
    }
    void archive()
    {
        QFETCH(QByteArray, brandName);
        QFETCH(QString, archive);
        QFETCH(QString, folder);
        QTemporaryDir root;
        const QString build = root.filePath(QStringLiteral("build"));
        StandInBuild(build);
        QString brand;
        if (!brandName.isEmpty()) {
            brand = root.filePath(QStringLiteral("brand"));
            QDir().mkpath(brand);
            WriteContainer(brand + u'/', Tagged("ApplicationName", brandName) + "\r\n");
            WriteAll(brand + QStringLiteral("/banner1.dat"), "banner");
            WriteAll(brand + QStringLiteral("/mainskin.dat"), "#btnNews { color: red; }");
            QImage icon(48, 48, QImage::Format_ARGB32);
            icon.fill(Qt::blue);
            QVERIFY(icon.save(brand + QStringLiteral("/main.ico"), "ICO"));
        }
        const TPack pack = Pack(build, brand);
        QVERIFY2(pack.exit == 0, pack.output.constData());
        const QString unpacked = root.filePath(QStringLiteral("unpacked"));
        QDir().mkpath(unpacked);
        QCOMPARE(QProcess::execute(QStringLiteral("tar"), {QStringLiteral("-xzf"), build + u'/' + archive,
                                                            QStringLiteral("-C"), unpacked}),
                 0);
        QCOMPARE(QDir(unpacked).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{folder});
        const QString app = unpacked + u'/' + folder + u'/';
        const QByteArray entry = ReadAll(app + QStringLiteral("org.tarnwick.Tarnwick.desktop"));
        const QByteArray readme = ReadAll(app + QStringLiteral("README"));
        if (brandName.isEmpty()) {
            QCOMPARE(FilesOf(app),
                     (QStringList{"README", "org.tarnwick.Tarnwick.desktop", "tarnwick"}));
            QVERIFY(entry.contains("\nName=Tarnwick\n"));
            QCOMPARE(readme, ReadAll(QStringLiteral(USERS_README)));
            return;
        }
        const QString base = archive.left(archive.indexOf(QStringLiteral("-2.5")));
        QStringList shipped{"README", base + ".png", "banner1.dat", "dbsettings.dat", "main.ico", "mainskin.dat",
                            "org.tarnwick.Tarnwick.desktop", "tarnwick"};
        shipped.sort();
        QCOMPARE(FilesOf(app), shipped);
        QCOMPARE(ReadAll(app + QStringLiteral("dbsettings.dat")), ReadAll(brand + QStringLiteral("/dbsettings.dat")));
        QVERIFY2(entry.contains("\nName=" + brandName + "\n"), entry.constData());
        QVERIFY2(entry.contains("\nIcon=" + base.toLatin1() + "\n"), entry.constData());
        QCOMPARE(QImage::fromData(ReadAll(app + base + QStringLiteral(".png"))).size(), QSize(48, 48));
        const QByteArray title = brandName + readme.mid(brandName.size(), readme.indexOf('\n') - brandName.size());
        QVERIFY2(title.endsWith(" for Linux (x86-64)"), readme.left(200).constData());
        QVERIFY2(readme.startsWith(title + '\n' + QByteArray(title.size(), '=') + "\n\n" + brandName + " keeps "),
                 readme.left(200).constData());
    }

    // The publisher's kit: the two tools, the news service as deployed and
    // the guide, with nothing of a news database.
    void publisherKit()
    {
        QTemporaryDir root;
        const QString build = root.filePath(QStringLiteral("build"));
        StandInBuild(build);
        QVERIFY(QFile::link(QStringLiteral(TARNWICK_BRAND_PATH), build + QStringLiteral("/tools/tarnwick-release")));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(CMAKE_EXE), {QStringLiteral("-DBUILD_DIR=") + build, QStringLiteral("-DSOURCE_DIR=" SOURCE_DIR),
                                            QStringLiteral("-P"), QStringLiteral(SOURCE_DIR "/packaging/publisher_kit.cmake")});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitCode() == 0, p.readAll().constData());
        QProcess list;
        list.start(QStringLiteral("tar"), {QStringLiteral("-tzf"),
                                           build + QStringLiteral("/tarnwick-publisher-kit-2.5-linux-x86_64.tar.gz")});
        QVERIFY(list.waitForFinished(30000));
        const QByteArrayList names = list.readAllStandardOutput().split('\n');
        for (const char *name : {"tarnwick-brand", "tarnwick-release", "README", "publishing.md", "news/getlastnews.php",
                                 "news/getnewsdetails.php", "news/admin.php", "news/.htaccess", "news/lib/news.php"})
            QVERIFY2(names.contains("tarnwick-publisher-kit-2.5/" + QByteArray(name)), name);
        for (const QByteArray &name : names)
            QVERIFY2(!name.contains("news-data") && !name.endsWith(".sqlite"), name.constData());
    }

    // A brand folder holding anything but the publisher's files, or a
    // container without a name, makes no archive.
    void refusedBrand_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QByteArray>("plaintext");
        QTest::addColumn<QByteArray>("messagePart");
        QTest::newRow("a book") << "items.dat" << QByteArray("<%%ApplicationName%%>Acme<%%/ApplicationName%%>")
                                << QByteArray("items.dat, which is not one of the publisher's files");
        QTest::newRow("window settings") << "tarnwick.ini" << QByteArray("<%%ApplicationName%%>Acme<%%/ApplicationName%%>")
                                         << QByteArray("tarnwick.ini");
        QTest::newRow("no name") << QString() << QByteArray("<%%BranderCode%%>ACME<%%/BranderCode%%>")
                                 << QByteArray("Cannot read the brand's name");
    }
    void refusedBrand()
    {
        QFETCH(QString, extra);
        QFETCH(QByteArray, plaintext);
        QFETCH(QByteArray, messagePart);
        QTemporaryDir root;
        const QString build = root.filePath(QStringLiteral("build"));
        StandInBuild(build);
        const QString brand = root.filePath(QStringLiteral("brand"));
        QDir().mkpath(brand);
        WriteContainer(brand + u'/', plaintext + "\r\n");
        if (!extra.isEmpty())
            WriteAll(brand + u'/' + extra, "user's");
        const TPack pack = Pack(build, brand);
        QVERIFY(pack.exit != 0);
        QVERIFY2(pack.output.simplified().contains(messagePart), pack.output.constData());
        QVERIFY(QDir(build).entryList({QStringLiteral("*.tar.gz")}, QDir::Files).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBrandedDist)
#include "test_branded_dist.moc"

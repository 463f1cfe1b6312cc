// The signed description of an update: what it may name and what it refuses.
#include "updater/release_signing.h"
#include "updater/update_manifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace UpdateManifest;

namespace {

TManifest Sample()
{
    TManifest m;
    m.version = QStringLiteral("2.5");
    m.minVersion = QStringLiteral("2.0");
    m.notes = QStringLiteral("Faster search.\nÜmlauts stay.");
    m.files = {{QStringLiteral("tarnwick"), 1234, 0755, ReleaseSigning::Sha256Hex("a")},
               {QStringLiteral("README"), 0, 0644, ReleaseSigning::Sha256Hex("")}};
    return m;
}

} // namespace

class TestUpdateManifest : public QObject
{
    Q_OBJECT
private slots:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("safe");
        QTest::addColumn<bool>("user");
        QTest::newRow("program") << "tarnwick" << true << false;
        QTest::newRow("updater") << "Updater" << true << false;
        QTest::newRow("icon") << "tarnwick.svg" << true << false;
        QTest::newRow("dot dot") << ".." << false << false;
        QTest::newRow("parent path") << "../tarnwick" << false << false;
        QTest::newRow("folder part") << "lib/tarnwick" << false << false;
        QTest::newRow("absolute") << "/usr/bin/tarnwick" << false << false;
        QTest::newRow("backslash") << "..\\tarnwick" << false << false;
        QTest::newRow("hidden, like the staged files") << ".tarnwick.update-new" << false << false;
        QTest::newRow("line break") << "tarn\nwick" << false << false;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("categories") << "categories.dat" << true << true;
        QTest::newRow("items any case") << "ITEMS.DAT" << true << true;
        QTest::newRow("protected book") << "book.tarnwick" << true << true;
        QTest::newRow("settings container") << "dbsettings.dat" << true << true;
        QTest::newRow("settings plaintext") << "dbsettings.sim" << true << true;
        QTest::newRow("banner") << "banner7.dat" << true << true;
        QTest::newRow("skin") << "mainskin.dat" << true << true;
        QTest::newRow("publisher icon") << "main.ico" << true << true;
        QTest::newRow("browser profile") << "browser" << true << true;
        QTest::newRow("backups") << "backups" << true << true;
        QTest::newRow("update description") << "mainappupdate.inf" << true << true;
        QTest::newRow("updater log") << "updater.log" << true << true;
        QTest::newRow("lock") << "tarnwick.lock" << true << true;
        QTest::newRow("window settings") << "tarnwick.ini" << true << true;
        QTest::newRow("window settings any case") << "Tarnwick.INI" << true << true;
        QTest::newRow("window settings cut short while written") << "tarnwick.ini.Ab12Cd" << true << true;
        QTest::newRow("book cut short while written") << "items.dat.x7Kq2P" << true << true;
        QTest::newRow("lock being taken over") << "tarnwick.lock.rmlock" << true << true;
        QTest::newRow("updater's journal") << "updater.journal" << true << true;
        QTest::newRow("readme") << "README" << true << false;
        QTest::newRow("web engine plugin") << "tarnwick-webengine.so" << true << false;
        QTest::newRow("desktop entry") << "org.tarnwick.Tarnwick.desktop" << true << false;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, safe);
        QFETCH(bool, user);
        QCOMPARE(IsSafeName(name), safe);
        QCOMPARE(IsUserFile(name), user);
    }

    // Of the files no plain release carries, only the publisher's own may
    // come with an update made with the brand; never the user's, nor what
    // a cut-short write of the publisher's files leaves.
    void releaseNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("release");
        QTest::newRow("program") << "tarnwick" << true;
        QTest::newRow("settings container") << "dbsettings.dat" << true;
        QTest::newRow("skin") << "mainskin.dat" << true;
        QTest::newRow("icon") << "main.ico" << true;
        QTest::newRow("banner") << "banner12.dat" << true;
        QTest::newRow("banner without a number") << "banner.dat" << false;
        QTest::newRow("container in another case") << "DBSettings.dat" << false;
        QTest::newRow("container cut short") << "dbsettings.dat.Ab12Cd" << false;
        QTest::newRow("settings plaintext") << "dbsettings.sim" << false;
        QTest::newRow("book") << "items.dat" << false;
        QTest::newRow("window settings") << "tarnwick.ini" << false;
        QTest::newRow("updater's journal") << "updater.journal" << false;
        QTest::newRow("hidden") << ".dbsettings.dat" << false;
    }
    void releaseNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, release);
        QCOMPARE(UpdateManifest::IsReleaseFile(name), release);
    }

    void roundTrip()
    {
        QString error;
        const std::optional<TManifest> back = Parse(ToJson(Sample()), error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(*back, Sample());
    }

    void refused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<int>("fileIndex"); // -1: a key of the whole description
        QTest::newRow("unknown format") << "format" << QJsonValue(QStringLiteral("tarnwick-update-9")) << -1;
        QTest::newRow("misread version") << "version" << QJsonValue(QStringLiteral("2.10")) << -1;
        QTest::newRow("number, not text") << "version" << QJsonValue(2.5) << -1;
        QTest::newRow("misread minimum") << "minVersion" << QJsonValue(QStringLiteral("1.1")) << -1;
        QTest::newRow("no files") << "files" << QJsonValue(QStringLiteral("tarnwick")) << -1;
        QTest::newRow("dot dot") << "name" << QJsonValue(QStringLiteral("../tarnwick")) << 0;
        QTest::newRow("absolute") << "name" << QJsonValue(QStringLiteral("/tmp/x")) << 0;
        QTest::newRow("user file") << "name" << QJsonValue(QStringLiteral("items.dat")) << 0;
        QTest::newRow("same name twice") << "name" << QJsonValue(QStringLiteral("tarnwick")) << 1;
        QTest::newRow("negative size") << "size" << QJsonValue(-1) << 0;
        QTest::newRow("fractional size") << "size" << QJsonValue(1.5) << 0;
        QTest::newRow("huge size") << "size" << QJsonValue(1e12) << 0;
        QTest::newRow("set-uid mode") << "mode" << QJsonValue(QStringLiteral("4755")) << 0;
        QTest::newRow("mode not octal") << "mode" << QJsonValue(QStringLiteral("0789")) << 0;
        QTest::newRow("short digest") << "sha256" << QJsonValue(QStringLiteral("abcd")) << 0;
        QTest::newRow("upper-case digest")
            << "sha256" << QJsonValue(QString::fromLatin1(ReleaseSigning::Sha256Hex("a").toUpper())) << 0;
    }
    void refused()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        QFETCH(int, fileIndex);
        QJsonObject root = QJsonDocument::fromJson(ToJson(Sample())).object();
        if (fileIndex < 0) {
            root[key] = value;
        } else {
            QJsonArray files = root[QStringLiteral("files")].toArray();
            QJsonObject file = files[fileIndex].toObject();
            file[key] = value;
            files[fileIndex] = file;
            root[QStringLiteral("files")] = files;
        }
        QString error;
        QVERIFY(!Parse(QJsonDocument(root).toJson(), error));
        QVERIFY(!error.isEmpty());
    }

    void signatures_data()
    {
        QTest::addColumn<bool>("otherKey");
        QTest::addColumn<bool>("changeMessage");
        QTest::addColumn<bool>("valid");
        QTest::newRow("own key") << false << false << true;
        QTest::newRow("another key") << true << false << false;
        QTest::newRow("changed after signing") << false << true << false;
    }
    void signatures()
    {
        QFETCH(bool, otherKey);
        QFETCH(bool, changeMessage);
        QFETCH(bool, valid);
        QByteArray privateA, publicA, privateB, publicB;
        QString error;
        QVERIFY(ReleaseSigning::GenerateKeyPair(privateA, publicA, error));
        QVERIFY(ReleaseSigning::GenerateKeyPair(privateB, publicB, error));
        QCOMPARE(ReleaseSigning::PublicKeyOf(privateA), publicA);
        QByteArray message = ToJson(Sample());
        const QByteArray signature = ReleaseSigning::Sign(otherKey ? privateB : privateA, message, error);
        QCOMPARE(signature.size(), ReleaseSigning::SignatureSize);
        if (changeMessage)
            message.replace("2.5", "3.5");
        QCOMPARE(ReleaseSigning::Verify(publicA, message, signature), valid);
        QVERIFY(!ReleaseSigning::Verify(publicA, message, signature.left(63)));
        QVERIFY(!ReleaseSigning::Verify("not a key", message, signature));
    }
};

QTEST_GUILESS_MAIN(TestUpdateManifest)
#include "test_update_manifest.moc"

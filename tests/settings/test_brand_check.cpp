#include "brand_fixtures.h"
#include "support/temp_app_folder.h"

#include <QProcess>
#include <QTest>

namespace {

struct TRun
{
    int status = -1;
    QString out;
    QString err;
};

TRun Brand(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral(TARNWICK_BRAND_PATH), arguments);
    if (!p.waitForFinished(30000))
        qFatal("tarnwick-brand did not finish");
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

// The publisher's round trip: template, filled in, packed, checked.
class TestBrandCheck : public QObject
{
    Q_OBJECT
private slots:
    void templatePackCheck()
    {
        TTempAppFolder dir;
        const TRun tpl = Brand({"template"});
        QCOMPARE(tpl.status, 0);
        QByteArray text = tpl.out.toLatin1();
        text.replace("<%%ApplicationName%%><%%/ApplicationName%%>", Tagged("ApplicationName", "Acme"));
        text.replace("<%%BranderType%%><%%/BranderType%%>", Tagged("BranderType", "Platinum"));
        text.replace("<%%Banner1%%><%%/Banner1%%>", Tagged("Banner1", "ads\\Top.GIF^http://b/"));
        text.replace("<%%Link1%%><%%/Link1%%>", Tagged("Link1", "Tools^"));
        dir.Write("plain.txt", text);
        QCOMPARE(Brand({"pack", dir.File("plain.txt"), dir.File("dbsettings.dat")}).status, 0);

        TRun check = Brand({"check", dir.File("dbsettings.dat")});
        QCOMPARE(check.status, 0);
        QVERIFY(check.out.contains("ApplicationName: Acme\n"));
        QVERIFY(check.out.contains("Window caption: Acme v2.0\n"));
        QVERIFY(check.out.contains("warning: Level Platinum without PlatinumNewsBaseURL"));
        QVERIFY(check.out.contains("warning: Banner1: banner1.dat is missing"));
        QVERIFY(check.out.contains("warning: Link1 has no URL"));

        dir.Write("banner1.dat", AnimatedGif());
        check = Brand({"check", dir.File("dbsettings.dat")});
        QVERIFY(check.out.contains("Banner1: animated GIF 120 x 40 from banner1.dat, link http://b/\n"));

        QByteArray bytes = dir.Read("dbsettings.dat");
        bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
        dir.Write("dbsettings.dat", bytes);
        check = Brand({"check", dir.File("dbsettings.dat")});
        QCOMPARE(check.status, 1);
        QVERIFY(check.err.contains("damaged"));
        QVERIFY(!check.out.contains("ApplicationName"));
    }
};

QTEST_GUILESS_MAIN(TestBrandCheck)
#include "test_brand_check.moc"

#include "brand_fixtures.h"
#include "settings/last_news.h"
#include "settings/settings_container.h"
#include "support/temp_app_folder.h"
#include "util/file_crypt.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

namespace {

enum class TBroken { None, WrongPassphrase, FlippedCiphertext, FlippedCode, Truncated, TooShort, Folder, SimIsFolder };

// Makes the container of `plaintext` in `dir`, then breaks it as asked.
void MakeContainer(const TTempAppFolder &dir, const QByteArray &plaintext, TBroken broken = TBroken::None)
{
    WriteContainer(dir.Path(), plaintext);
    QByteArray bytes = dir.Read("dbsettings.dat");
    switch (broken) {
    case TBroken::None:
        return;
    case TBroken::WrongPassphrase: {
        dir.Write("plain.tmp", plaintext);
        QVERIFY(EncryptFileWithPassphrase(dir.File("plain.tmp"), dir.File("dbsettings.dat"), "not the passphrase"));
        QFile::remove(dir.File("plain.tmp"));
        return;
    }
    case TBroken::FlippedCiphertext:
        bytes[12] = char(bytes[12] ^ 0x01); // 8 salt + 2 verifier bytes come first
        break;
    case TBroken::FlippedCode:
        bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x80);
        break;
    case TBroken::Truncated:
        bytes.chop(1);
        break;
    case TBroken::TooShort:
        bytes = bytes.left(15);
        break;
    case TBroken::Folder:
        QFile::remove(dir.File("dbsettings.dat"));
        QVERIFY(QDir(dir.Path()).mkdir("dbsettings.dat"));
        return;
    case TBroken::SimIsFolder:
        QVERIFY(QDir(dir.Path()).mkdir("dbsettings.sim"));
        return;
    }
    dir.Write("dbsettings.dat", bytes);
}

const QByteArray kBranding = Tagged("ApplicationName", "Acme") + "\r\n" + Tagged("BranderType", "Gold") + "\r\n";

} // namespace

Q_DECLARE_METATYPE(TBroken)

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<TBroken>("broken");
        QTest::addColumn<bool>("opens");
        QTest::newRow("sound") << TBroken::None << true;
        QTest::newRow("wrong passphrase") << TBroken::WrongPassphrase << false;
        QTest::newRow("flipped ciphertext bit") << TBroken::FlippedCiphertext << false;
        QTest::newRow("flipped code bit") << TBroken::FlippedCode << false;
        QTest::newRow("cut by one byte") << TBroken::Truncated << false;
        QTest::newRow("shorter than any container") << TBroken::TooShort << false;
        QTest::newRow("container is a folder") << TBroken::Folder << false;
        QTest::newRow("plaintext file cannot be created") << TBroken::SimIsFolder << false;
    }
    void read()
    {
        QFETCH(TBroken, broken);
        QFETCH(bool, opens);
        TTempAppFolder dir;
        MakeContainer(dir, kBranding + Tagged("LastNewsId", "12") + "\r\n", broken);
        QByteArray text = "stale";
        const TContainerState state = ReadSettingsText(dir.Path(), text);
        QCOMPARE(state, opens ? TContainerState::Opened : TContainerState::Failed);
        QCOMPARE(text.isEmpty(), !opens);
        QCOMPARE(ReadLastNewsId(dir.Path()), opens ? QByteArray("12") : QByteArray());
        if (broken != TBroken::SimIsFolder)
            QVERIFY(!dir.Exists("dbsettings.sim"));
    }

    void read_joinsLinesWithCrLfAndStopsAtNul()
    {
        TTempAppFolder dir;
        MakeContainer(dir, QByteArray("a\nb\rc\r\nd\0ignored", 17));
        QByteArray text;
        QCOMPARE(ReadSettingsText(dir.Path(), text), TContainerState::Opened);
        QCOMPARE(text, QByteArray("a\r\nb\r\nc\r\nd\r\n"));
    }

    void missingContainer_readsEmpty_writesNothing()
    {
        TTempAppFolder dir;
        QByteArray text;
        QCOMPARE(ReadSettingsText(dir.Path(), text), TContainerState::Missing);
        QCOMPARE(ReadLastNewsId(dir.Path()), QByteArray());
        QVERIFY(!WriteLastNewsId(dir.Path(), "5"));
        QCOMPARE(FilesIn(dir.Path()), QStringList());
    }

    void stalePlaintext_isRemovedAndNeverWidened()
    {
        TTempAppFolder dir;
        MakeContainer(dir, kBranding);
        dir.Write("dbsettings.sim", "left over by a crash");
        QFile::setPermissions(dir.File("dbsettings.sim"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        QVERIFY(WriteLastNewsId(dir.Path(), "1"));
        QCOMPARE(FilesIn(dir.Path()), QStringList{"dbsettings.dat"});

        QVERIFY(WriteOwnerOnlyFile(dir.File("x.sim"), "secret"));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(dir.File("x.sim")).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        QCOMPARE(dir.Read("x.sim"), QByteArray("secret"));
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArrayList>("ids");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QByteArray>("read");

        const QByteArray m7 = "<%%LastNewsId%%>7<%%/LastNewsId%%>\r\n";
        QTest::newRow("no marker: appended") << kBranding << QByteArrayList{"7"} << kBranding + m7 << QByteArray("7");
        QTest::newRow("written twice: one line")
            << kBranding << QByteArrayList{"3", "7"} << kBranding + m7 << QByteArray("7");
        QTest::newRow("replaced in place, other lines in order")
            << QByteArray("first\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\nlast") << QByteArrayList{"7"} << "first\r\n" + m7 + "last\r\n"
            << QByteArray("7");
        QTest::newRow("marker in capitals: appended, old value still read")
            << QByteArray("<%%LASTNEWSID%%>2<%%/LASTNEWSID%%>\n") << QByteArrayList{"7"}
            << "<%%LASTNEWSID%%>2<%%/LASTNEWSID%%>\r\n" + m7 << QByteArray("2");
        QTest::newRow("line shared with other text is replaced whole")
            << QByteArray("x <%%LastNewsId%%>2<%%/LastNewsId%%> y\r\nz\r\n") << QByteArrayList{"7"} << m7 + "z\r\n" << QByteArray("7");
        QTest::newRow("only the first marker line")
            << QByteArray("<%%LastNewsId%%>1<%%/LastNewsId%%>\r\n<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n") << QByteArrayList{"7"}
            << m7 + "<%%LastNewsId%%>2<%%/LastNewsId%%>\r\n" << QByteArray("7");
        QTest::newRow("empty id") << kBranding << QByteArrayList{""}
                                  << kBranding + "<%%LastNewsId%%><%%/LastNewsId%%>\r\n" << QByteArray();
        QTest::newRow("lone CR and LF become CR LF")
            << QByteArray("a\rb\nc") << QByteArrayList{"7"} << "a\r\nb\r\nc\r\n" + m7 << QByteArray("7");
        QTest::newRow("empty plaintext") << QByteArray() << QByteArrayList{"7"} << m7 << QByteArray("7");
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArrayList, ids);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, read);
        TTempAppFolder dir;
        MakeContainer(dir, before);
        for (const QByteArray &id : ids) {
            QVERIFY(WriteLastNewsId(dir.Path(), id));
            QCOMPARE(FilesIn(dir.Path()), QStringList{"dbsettings.dat"});
        }
        QCOMPARE(ContainerPlaintext(dir.File("dbsettings.dat")), after);
        QCOMPARE(ReadLastNewsId(dir.Path()), read);
    }

    // A container that no longer opens must not be replaced by one holding
    // the marker alone: the publisher's settings would be gone.
    void write_intoContainerThatDoesNotOpen_changesNothing_data() { read_data(); }
    void write_intoContainerThatDoesNotOpen_changesNothing()
    {
        QFETCH(TBroken, broken);
        QFETCH(bool, opens);
        if (opens)
            QSKIP("a sound container is rewritten");
        TTempAppFolder dir;
        MakeContainer(dir, kBranding, broken);
        const QStringList files = FilesIn(dir.Path());
        const QByteArray bytes = dir.Read("dbsettings.dat");
        QVERIFY(!WriteLastNewsId(dir.Path(), "9"));
        QCOMPARE(dir.Read("dbsettings.dat"), bytes);
        QCOMPARE(FilesIn(dir.Path()), files);
    }

    // The id arrives from the network: one that would add lines, end the
    // text or plant a tag is refused and the settings stay as they were.
    void write_hostileId_isRefused_data()
    {
        QTest::addColumn<QByteArray>("id");
        QTest::newRow("line break planting a welcome page")
            << QByteArray("5\r\n<%%Welcome1%%><script>x</script><%%/Welcome1%%>");
        QTest::newRow("lone LF") << QByteArray("5\nx");
        QTest::newRow("NUL ending the text") << QByteArray("7\0rest", 6);
        QTest::newRow("a tag on the same line") << QByteArray("<%%/LastNewsId%%><%%AboutText%%>x");
    }
    void write_hostileId_isRefused()
    {
        QFETCH(QByteArray, id);
        TTempAppFolder dir;
        MakeContainer(dir, kBranding + Tagged("LastNewsId", "3") + "\r\n");
        const QByteArray plain = ContainerPlaintext(dir.File("dbsettings.dat"));
        QVERIFY(!WriteLastNewsId(dir.Path(), id));
        QCOMPARE(ContainerPlaintext(dir.File("dbsettings.dat")), plain);
        QCOMPARE(ReadLastNewsId(dir.Path()), QByteArray("3"));
        QVERIFY(!dir.Exists("dbsettings.sim"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"

// The publisher's tool end to end: it round-trips any file, agrees with
// 7-Zip both ways and hands over nothing from a container that does not open.
#include "util/file_crypt.h"
#include "winzip_aes.h"

#include "support/tool_run.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

using TRun = TToolRun;

TRun Tool(const QStringList &arguments)
{
    return RunTool(QStringLiteral(TARNWICK_BRAND_PATH), arguments);
}

// --passphrase TEXT, or nothing for the program's own.
QStringList With(const QByteArray &passphrase, const QStringList &arguments)
{
    return passphrase.isNull() ? arguments : QStringList{"--passphrase", QString::fromLatin1(passphrase)} + arguments;
}

QByteArray RandomBytes(quint32 seed, qsizetype n)
{
    QRandomGenerator rng(seed);
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

class TFolder
{
public:
    QString File(const QString &name) const { return m_dir.filePath(name); }
    void Write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(File(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(File(name)));
    }
    QByteArray Read(const QString &name) const
    {
        QFile f(File(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList Names() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

private:
    QTemporaryDir m_dir;
};

void PassphraseRows()
{
    QTest::addColumn<QByteArray>("passphrase");  // null: the program's own
    QTest::addColumn<int>("strength");
    QTest::newRow("program's passphrase") << QByteArray() << 1;
    QTest::newRow("10 bytes") << QByteArray("Ten-bytes!") << 1;
    QTest::newRow("40 bytes") << QByteArray("forty bytes of passphrase, for AES-192..") << 2;
    QTest::newRow("60 bytes") << QByteArray("sixty bytes of passphrase make the tool pick AES-256 keys...") << 3;
}

} // namespace

class TestBrandTool : public QObject
{
    Q_OBJECT

private slots:
    void help()
    {
        const TRun run = Tool({"--help"});
        QCOMPARE(run.exit, 0);
        QVERIFY(run.out.contains("pack PLAINTEXT CONTAINER"));
        QVERIFY(run.out.contains("unpack CONTAINER PLAINTEXT"));
        QVERIFY(run.out.contains("--passphrase TEXT"));
    }

    void wrongUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing") << QStringList() << "No command given.";
        QTest::newRow("unknown command") << QStringList{"seal", "a", "b"} << "Unknown command \"seal\".";
        QTest::newRow("one argument") << QStringList{"pack", "a"} << "pack PLAINTEXT CONTAINER";
        QTest::newRow("three arguments") << QStringList{"unpack", "a", "b", "c"} << "unpack CONTAINER PLAINTEXT";
        QTest::newRow("unknown option") << QStringList{"--salt", "x", "pack", "a", "b"} << "Unknown option";
        QTest::newRow("passphrase over 128 bytes")
            << QStringList{"--passphrase", QString(129, 'p'), "pack", "a", "b"} << "longer than 128 bytes";
        QTest::newRow("passphrase outside the code page")
            << QStringList{"--passphrase", QString::fromUtf8("\u4e2d\u6587"), "pack", "a", "b"} << "Windows-1252";
    }
    void wrongUsage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        TFolder folder;
        folder.Write("a", "plain");
        for (QString &a : arguments)
            if (a == "a" || a == "b")
                a = folder.File(a);
        const TRun run = Tool(arguments);
        QCOMPARE(run.exit, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY2(run.err.contains("Usage: tarnwick-brand [--passphrase TEXT] COMMAND"), qPrintable(run.err));
        QCOMPARE(folder.Names(), QStringList{"a"});
    }

    void roundTrip_data()
    {
        PassphraseRows();
    }
    void roundTrip()
    {
        QFETCH(QByteArray, passphrase);
        QFETCH(int, strength);
        for (qsizetype length : {qsizetype(0), qsizetype(1), qsizetype(5000), qsizetype(0x40000 * 2)}) {
            TFolder folder;
            const QByteArray plain = RandomBytes(quint32(length), length);
            folder.Write("plain.bin", plain);
            QCOMPARE(Tool(With(passphrase, {"pack", folder.File("plain.bin"), folder.File("c.dat")})).exit, 0);
            QCOMPARE(folder.Read("c.dat").size(), length + 4 * strength + 16);
            const TRun run = Tool(With(passphrase, {"unpack", folder.File("c.dat"), folder.File("back.bin")}));
            QCOMPARE(run.exit, 0);
            QCOMPARE(run.err, QString());
            QCOMPARE(folder.Read("back.bin"), plain);
        }
    }

    // What the tool packs without a passphrase is what the program opens.
    void packsForTheProgram()
    {
        TFolder folder;
        folder.Write("settings.txt", "<AppName>Acme Books</AppName>\r\n");
        QCOMPARE(Tool({"pack", folder.File("settings.txt"), folder.File("dbsettings.dat")}).exit, 0);
        QVERIFY(DecryptFileToFile(folder.File("dbsettings.dat"), folder.File("dbsettings.sim")));
        QCOMPARE(folder.Read("dbsettings.sim"), folder.Read("settings.txt"));
    }

    void agreesWithSevenZip_data()
    {
        PassphraseRows();
    }
    void agreesWithSevenZip()
    {
        QFETCH(QByteArray, passphrase);
        QFETCH(int, strength);
        if (SevenZipProgram().isEmpty())
            QFAIL("7zz not found: install the 7zip package");
        const QByteArray password = passphrase.isNull() ? QByteArray(ContainerPassphrase) : passphrase;
        TFolder folder;
        const QByteArray plain = RandomBytes(quint32(strength), 70000);
        folder.Write("plain.bin", plain);

        // Ours, wrapped in a ZIP entry, is extracted by 7-Zip.
        QCOMPARE(Tool(With(passphrase, {"pack", folder.File("plain.bin"), folder.File("c.dat")})).exit, 0);
        folder.Write("ours.zip", ZipWithAesEntry("plain.bin", folder.Read("c.dat"), plain, strength, 1));
        QCOMPARE(RunSevenZip({"x", "-y", "-p" + QString::fromLatin1(password), "-o" + folder.File("x"),
                              folder.File("ours.zip")}), 0);
        QCOMPARE(folder.Read("x/plain.bin"), plain);

        // 7-Zip's entry data is unpacked by the tool.
        QCOMPARE(RunSevenZip({"a", "-tzip", QStringLiteral("-mem=AES%1").arg(64 + 64 * strength), "-mx=0",
                              "-p" + QString::fromLatin1(password), folder.File("theirs.zip"), folder.File("plain.bin")}), 0);
        const std::optional<TZipEntry> entry = FirstZipEntry(folder.Read("theirs.zip"));
        QVERIFY(entry);
        folder.Write("theirs.dat", entry->Data);
        QCOMPARE(Tool(With(passphrase, {"unpack", folder.File("theirs.dat"), folder.File("theirs.bin")})).exit, 0);
        QCOMPARE(folder.Read("theirs.bin"), plain);
    }

    void unpackRefuses_data()
    {
        QTest::addColumn<QByteArray>("passphrase");
        QTest::addColumn<int>("flip");  // offset of a flipped byte, or -1
        QTest::addColumn<int>("keep");  // bytes of the container kept, or -1
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong passphrase") << QByteArray("not the one") << -1 << -1 << "passphrase does not match";
        QTest::newRow("flipped ciphertext") << QByteArray() << 500 << -1 << "authentication code does not match";
        QTest::newRow("flipped code") << QByteArray() << 1019 << -1 << "authentication code does not match";
        QTest::newRow("cut short") << QByteArray() << -1 << 1000 << "authentication code does not match";
        QTest::newRow("too short") << QByteArray() << -1 << 19 << "too short";
        QTest::newRow("missing") << QByteArray() << -1 << -2 << "Cannot open file";
    }
    void unpackRefuses()
    {
        QFETCH(QByteArray, passphrase);
        QFETCH(int, flip);
        QFETCH(int, keep);
        QFETCH(QString, message);
        TFolder folder;
        folder.Write("plain.bin", RandomBytes(7, 1000));  // container of 1020 bytes
        QCOMPARE(Tool({"pack", folder.File("plain.bin"), folder.File("c.dat")}).exit, 0);
        QByteArray container = folder.Read("c.dat");
        if (flip >= 0)
            container[flip] = char(container[flip] ^ 0x04);
        if (keep >= 0)
            container.truncate(keep);
        folder.Write("c.dat", container);
        if (keep == -2)
            QVERIFY(QFile::remove(folder.File("c.dat")));
        folder.Write("out.bin", "previous plaintext");

        const TRun run = Tool(With(passphrase, {"unpack", folder.File("c.dat"), folder.File("out.bin")}));
        QCOMPARE(run.exit, 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(folder.Read("out.bin"), QByteArray("previous plaintext"));
        QVERIFY(!folder.Names().join(' ').contains("out.bin."));  // no temporary left
    }

    void packReportsFileErrors()
    {
        TFolder folder;
        const TRun missing = Tool({"pack", folder.File("missing.txt"), folder.File("c.dat")});
        QCOMPARE(missing.exit, 1);
        QVERIFY(missing.err.contains("Cannot open file"));
        folder.Write("plain.txt", "x");
        const TRun noFolder = Tool({"pack", folder.File("plain.txt"), folder.File("no/such/c.dat")});
        QCOMPARE(noFolder.exit, 1);
        QVERIFY(noFolder.err.contains("Cannot create file"));
    }
};

QTEST_GUILESS_MAIN(TestBrandTool)
#include "test_brand_tool.moc"

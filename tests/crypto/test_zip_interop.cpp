// The container is the data of a WinZip AES entry: 7-Zip reads what we write
// and we read what 7-Zip writes, for all three key strengths.
#include "crypto/aes_lib.h"
#include "winzip_aes.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray RandomBytes(quint32 seed, qsizetype n)
{
    QRandomGenerator rng(seed);
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

// Printable, so it travels on 7-Zip's command line unchanged.
QByteArray PassphraseOf(int length)
{
    const QByteArray letters = "Ab3De6Gh9Jk-Mn_Pq.St~Vw!Yz";
    QByteArray p;
    for (int i = 0; i < length; ++i)
        p += letters[(i * 7 + length) % letters.size()];
    return p;
}

QByteArray Encrypt(const QByteArray &passphrase, const QByteArray &plain)
{
    TEncryption e(passphrase.toStdString(), 0x40000);
    TMemoryStream in(std::vector<std::uint8_t>(plain.begin(), plain.end())), out;
    if (!e.Encrypt(in, out))
        return {};
    return QByteArray(reinterpret_cast<const char *>(out.Data().data()), qsizetype(out.Data().size()));
}

bool Decrypt(const QByteArray &passphrase, const QByteArray &container, QByteArray *plain)
{
    TEncryption e(passphrase.toStdString(), 0x40000);
    TMemoryStream in(std::vector<std::uint8_t>(container.begin(), container.end())), out;
    const bool ok = e.Decrypt(in, &out, container.size());
    *plain = QByteArray(reinterpret_cast<const char *>(out.Data().data()), qsizetype(out.Data().size()));
    return ok;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void AddRows()
{
    QTest::addColumn<int>("passphraseLength");
    QTest::addColumn<int>("strength");
    QTest::addColumn<int>("plainLength");
    for (const auto &[length, strength] : {std::pair{10, 1}, std::pair{40, 2}, std::pair{60, 3}}) {
        for (int plain : {1, 100000}) {
            QTest::addRow("AES-%d, %d bytes", 64 + 64 * strength, plain) << length << strength << plain;
        }
    }
}

} // namespace

class TestZipInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (SevenZipProgram().isEmpty())
            QFAIL("7zz not found: install the 7zip package");
    }

    void sevenZipReadsOurs_data()
    {
        AddRows();
        QTest::newRow("AES-128, empty") << 10 << 1 << 0;
    }
    void sevenZipReadsOurs()
    {
        QFETCH(int, passphraseLength);
        QFETCH(int, strength);
        QFETCH(int, plainLength);
        const QByteArray passphrase = PassphraseOf(passphraseLength);
        const QByteArray plain = RandomBytes(quint32(plainLength + strength), plainLength);
        const QByteArray container = Encrypt(passphrase, plain);
        QCOMPARE(container.size(), plainLength + 4 * strength + 4 + 12);

        for (int vendorVersion : {1, 2}) {
            QTemporaryDir dir;
            const QString zip = dir.filePath("ours.zip");
            QVERIFY(WriteFile(zip, ZipWithAesEntry("entry.bin", container, plain, strength, vendorVersion)));
            QByteArray log;
            QCOMPARE(RunSevenZip({"x", "-y", "-p" + QString::fromLatin1(passphrase), "-o" + dir.filePath("out"), zip}, &log), 0);
            QCOMPARE(ReadFile(dir.filePath("out/entry.bin")), plain);

            // 7-Zip does check the code: one flipped ciphertext bit is an error.
            if (plainLength > 0) {
                QByteArray damaged = container;
                damaged[4 * strength + 6] = char(damaged[4 * strength + 6] ^ 1);
                QVERIFY(WriteFile(zip, ZipWithAesEntry("entry.bin", damaged, plain, strength, vendorVersion)));
                QVERIFY(RunSevenZip({"t", "-p" + QString::fromLatin1(passphrase), zip}, &log) != 0);
            }
        }
    }

    void weReadSevenZips_data()
    {
        AddRows();
    }
    void weReadSevenZips()
    {
        QFETCH(int, passphraseLength);
        QFETCH(int, strength);
        QFETCH(int, plainLength);
        const QByteArray passphrase = PassphraseOf(passphraseLength);
        const QByteArray plain = RandomBytes(quint32(plainLength * 3 + strength), plainLength);
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath("plain.bin"), plain));
        const QString zip = dir.filePath("theirs.zip");
        QByteArray log;
        QCOMPARE(RunSevenZip({"a", "-tzip", QStringLiteral("-mem=AES%1").arg(64 + 64 * strength), "-mx=0",
                              "-p" + QString::fromLatin1(passphrase), zip, dir.filePath("plain.bin")}, &log), 0);

        const std::optional<TZipEntry> entry = FirstZipEntry(ReadFile(zip));
        QVERIFY(entry);
        QCOMPARE(entry->Method, 99);
        QCOMPARE(entry->Strength, strength);
        QCOMPARE(entry->InnerMethod, 0);
        QCOMPARE(entry->Data.size(), plainLength + 4 * strength + 4 + 12);
        QByteArray decrypted;
        QVERIFY(Decrypt(passphrase, entry->Data, &decrypted));
        QCOMPARE(decrypted, plain);
        if (entry->VendorVersion == 1)
            QCOMPARE(entry->Crc, Crc32(plain));
    }
};

QTEST_GUILESS_MAIN(TestZipInterop)
#include "test_zip_interop.moc"

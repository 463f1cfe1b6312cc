// Files into and out of the container: results, atomic replacement, the
// plaintext's permissions and the errors of the file system.
#include "crypto/aes_lib.h"
#include "support/fault_injection.h"
#include "support/temp_app_folder.h"
#include "util/errors.h"
#include "util/file_crypt.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

namespace {

QByteArray Pattern(qsizetype n)
{
    QByteArray b(n, '\0');
    for (qsizetype i = 0; i < n; ++i)
        b[i] = char((i * 131 + i / 253) & 0xFF);
    return b;
}

// The folder holds exactly these names: no temporary file was left behind.
QStringList Names(const TTempAppFolder &folder)
{
    return QDir(folder.Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

template <typename F>
QString ErrorOf(F &&f)
{
    try {
        f();
    } catch (const EFileError &e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestFileCrypt : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("empty") << 0;
        QTest::newRow("one byte") << 1;
        QTest::newRow("settings text") << 1234;
        QTest::newRow("one buffer") << ContainerBufferSize;
        QTest::newRow("two buffers and a bit") << 2 * ContainerBufferSize + 5;
    }
    void roundTrip()
    {
        QFETCH(int, length);
        TTempAppFolder folder;
        const QByteArray plain = Pattern(length);
        folder.Write("plain.txt", plain);
        QVERIFY(EncryptFileToFile(folder.File("plain.txt"), folder.File("dbsettings.dat")));
        const QByteArray container = folder.Read("dbsettings.dat");
        QCOMPARE(container.size(), length + 20);  // fixed passphrase: 8-byte salt

        // The fixed passphrase opens it, and nothing else is needed to.
        TEncryption check(ContainerPassphrase, 1000);
        TMemoryStream in(std::vector<std::uint8_t>(container.begin(), container.end()));
        QVERIFY(check.Decrypt(in, nullptr, container.size()));

        QVERIFY(DecryptFileToFile(folder.File("dbsettings.dat"), folder.File("dbsettings.sim")));
        QCOMPARE(folder.Read("dbsettings.sim"), plain);
        QCOMPARE(Names(folder), QStringList({"dbsettings.dat", "dbsettings.sim", "plain.txt"}));
    }

    void plaintextIsPrivate()
    {
        TTempAppFolder folder;
        folder.Write("plain.txt", "LastNewsId=7");
        QVERIFY(EncryptFileToFile(folder.File("plain.txt"), folder.File("c.dat")));
        folder.Write("out.sim", "older, world-readable");
        QFile::setPermissions(folder.File("out.sim"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther
                                                          | QFile::ReadGroup);
        QVERIFY(DecryptFileToFile(folder.File("c.dat"), folder.File("out.sim")));
        QCOMPARE(int(QFileInfo(folder.File("out.sim")).permissions() & 0x0777), 0x0600);
        QVERIFY(DecryptFileToFile(folder.File("c.dat"), folder.File("new.sim")));
        QCOMPARE(int(QFileInfo(folder.File("new.sim")).permissions() & 0x0777), 0x0600);
    }

    // A container that does not open still yields a destination, and the
    // result tells the caller not to trust it.
    void failedDecryptionKeepsItsResult()
    {
        TTempAppFolder folder;
        folder.Write("plain.txt", "BrandName=Acme");
        QVERIFY(EncryptFileWithPassphrase(folder.File("plain.txt"), folder.File("other.dat"), "another"));
        folder.Write("out.sim", "old");
        QVERIFY(!DecryptFileToFile(folder.File("other.dat"), folder.File("out.sim")));
        QVERIFY(folder.Exists("out.sim"));
        QCOMPARE(folder.Read("out.sim"), QByteArray());

        QVERIFY(EncryptFileToFile(folder.File("plain.txt"), folder.File("c.dat")));
        QByteArray damaged = folder.Read("c.dat");
        damaged[damaged.size() - 1] = char(damaged[damaged.size() - 1] ^ 1);
        folder.Write("c.dat", damaged);
        QVERIFY(!DecryptFileToFile(folder.File("c.dat"), folder.File("out.sim")));
        QCOMPARE(folder.Read("out.sim"), QByteArray("BrandName=Acme"));
    }

    void encryptInPlace()
    {
        TTempAppFolder folder;
        folder.Write("settings", "in place");
        QVERIFY(EncryptFileToFile(folder.File("settings"), folder.File("settings")));
        QCOMPARE(folder.Read("settings").size(), 8 + 20);
        QVERIFY(DecryptFileToFile(folder.File("settings"), folder.File("settings")));
        QCOMPARE(folder.Read("settings"), QByteArray("in place"));
    }

    void sourceCannotBeOpened()
    {
        TTempAppFolder folder;
        folder.Write("out.sim", "old");
        const QString missing = folder.File("missing.dat");
        const QString error = ErrorOf([&] { DecryptFileToFile(missing, folder.File("out.sim")); });
        QCOMPARE(error, QStringLiteral("Cannot open file \"%1\". No such file or directory")
                            .arg(QDir::toNativeSeparators(missing)));
        QCOMPARE(folder.Read("out.sim"), QByteArray("old"));
        QVERIFY(ErrorOf([&] { EncryptFileToFile(folder.Path(), folder.File("new.dat")); })
                    .startsWith("Cannot open file"));
        QVERIFY(!folder.Exists("new.dat"));
    }

    void destinationCannotBeCreated()
    {
        TTempAppFolder folder;
        folder.Write("plain.txt", "text");
        const QString inMissingFolder = folder.File("no/such/folder/c.dat");
        QVERIFY(ErrorOf([&] { EncryptFileToFile(folder.File("plain.txt"), inMissingFolder); })
                    .startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(QDir::toNativeSeparators(inMissingFolder))));

        QDir(folder.Path()).mkdir("locked");
        const QString locked = folder.File("locked/c.dat");
        QFile old(locked);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        TReadOnlyFolder readOnly(folder.File("locked"));
        if (!readOnly.Active())
            QSKIP("cannot make a folder read-only here");
        QVERIFY(ErrorOf([&] { EncryptFileToFile(folder.File("plain.txt"), locked); }).startsWith("Cannot create file"));
        QCOMPARE(folder.Read("locked/c.dat"), QByteArray("old"));
    }

    // A destination that could not be written whole never replaces the old one.
    void fullDiskKeepsTheOldFile()
    {
        TTempAppFolder folder;
        folder.Write("plain.txt", Pattern(3 * ContainerBufferSize));
        folder.Write("c.dat", "old container");
        QString error;
        {
            TFileSizeLimit limit(ContainerBufferSize + 100);
            error = ErrorOf([&] { EncryptFileToFile(folder.File("plain.txt"), folder.File("c.dat")); });
        }
        QVERIFY2(error.startsWith(QStringLiteral("Cannot write file \"%1\". ").arg(QDir::toNativeSeparators(folder.File("c.dat")))),
                 qPrintable(error));
        QCOMPARE(folder.Read("c.dat"), QByteArray("old container"));
        QCOMPARE(Names(folder), QStringList({"c.dat", "plain.txt"}));
    }

    // The publisher's unpack hands over nothing that did not open.
    void unpack_data()
    {
        QTest::addColumn<QByteArray>("passphrase");
        QTest::addColumn<int>("cut");       // bytes cut from the end of a 44-byte container
        QTest::addColumn<int>("flip");      // offset of a flipped byte, or -1
        QTest::addColumn<int>("expected");  // TContainerCheck
        QTest::newRow("sound") << QByteArray("publisher") << 0 << -1 << int(TContainerCheck::Opened);
        QTest::newRow("wrong passphrase") << QByteArray("publishe!") << 0 << -1 << int(TContainerCheck::VerifierMismatch);
        QTest::newRow("flipped data") << QByteArray("publisher") << 0 << 12 << int(TContainerCheck::Damaged);
        QTest::newRow("cut short") << QByteArray("publisher") << 1 << -1 << int(TContainerCheck::Damaged);
        QTest::newRow("nearly nothing left") << QByteArray("publisher") << 25 << -1 << int(TContainerCheck::TooShort);
    }
    void unpack()
    {
        QFETCH(QByteArray, passphrase);
        QFETCH(int, cut);
        QFETCH(int, flip);
        QFETCH(int, expected);
        TTempAppFolder folder;
        folder.Write("plain.txt", "Hello from the publisher");  // 24 bytes: container of 44
        QVERIFY(EncryptFileWithPassphrase(folder.File("plain.txt"), folder.File("c.dat"), "publisher"));
        QByteArray container = folder.Read("c.dat");
        container.chop(cut);
        if (flip >= 0)
            container[flip] = char(container[flip] ^ 0x80);
        folder.Write("c.dat", container);
        folder.Write("out.txt", "old");
        QCOMPARE(int(UnpackContainer(folder.File("c.dat"), folder.File("out.txt"), passphrase)), expected);
        QCOMPARE(folder.Read("out.txt"),
                 expected == int(TContainerCheck::Opened) ? QByteArray("Hello from the publisher") : QByteArray("old"));
        QCOMPARE(Names(folder), QStringList({"c.dat", "out.txt", "plain.txt"}));
    }

    void passphraseOver128BytesWritesNothing()
    {
        TTempAppFolder folder;
        folder.Write("plain.txt", "text");
        QVERIFY(!EncryptFileWithPassphrase(folder.File("plain.txt"), folder.File("c.dat"), QByteArray(129, 'x')));
        QVERIFY(!folder.Exists("c.dat"));
        QVERIFY(EncryptFileWithPassphrase(folder.File("plain.txt"), folder.File("c.dat"), QByteArray(128, 'x')));
    }
};

QTEST_GUILESS_MAIN(TestFileCrypt)
#include "test_file_crypt.moc"

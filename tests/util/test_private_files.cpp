// The book's files, the browser profile and temporary plaintext are readable
// by their owner alone, whatever the umask; a mode the user chose is kept.
#include "support/temp_app_folder.h"
#include "util/file_crypt.h"
#include "util/private_files.h"
#include "support/string_list_files.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

namespace {

int Mode(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

class TUmask
{
public:
    explicit TUmask(int mask) : m_old(::umask(mode_t(mask))) {}
    ~TUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

} // namespace

class TestPrivateFiles : public QObject
{
    Q_OBJECT
private slots:
    void bookSave_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("existing"); // -1: no file yet
        QTest::addColumn<int>("expected");
        QTest::newRow("new file, umask 022") << 022 << -1 << 0600;
        QTest::newRow("new file, umask 077") << 077 << -1 << 0600;
        QTest::newRow("new file, umask 000") << 000 << -1 << 0600;
        QTest::newRow("owner-only file stays so, umask 022") << 022 << 0600 << 0600;
        QTest::newRow("a mode the user chose is kept, umask 077") << 077 << 0640 << 0640;
        QTest::newRow("a mode the user chose is kept, umask 022") << 022 << 0644 << 0644;
    }
    void bookSave()
    {
        QFETCH(int, mask);
        QFETCH(int, existing);
        QFETCH(int, expected);
        TTempAppFolder dir;
        const QString path = dir.File("items.dat");
        if (existing >= 0) {
            dir.Write("items.dat", "old\r\n");
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(existing)) == 0);
        }
        {
            TUmask umask(mask);
            SaveStringList(path, {"new"});
        }
        QCOMPARE(dir.Read("items.dat"), QByteArray("new\r\n"));
        QCOMPARE(Mode(path), expected);
        // Nothing else was left in the folder.
        QCOMPARE(QDir(dir.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{"items.dat"});
    }

    void decryptedPlaintext_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("existing");
        QTest::newRow("new, umask 022") << 022 << -1;
        QTest::newRow("new, umask 000") << 000 << -1;
        QTest::newRow("stale world-readable copy, umask 022") << 022 << 0644;
    }
    void decryptedPlaintext()
    {
        QFETCH(int, mask);
        QFETCH(int, existing);
        TTempAppFolder dir;
        dir.Write("plain.txt", "secret settings");
        QVERIFY(EncryptFileToFile(dir.File("plain.txt"), dir.File("box.dat")));
        if (existing >= 0) {
            dir.Write("out.sim", "stale");
            QVERIFY(::chmod(QFile::encodeName(dir.File("out.sim")).constData(), mode_t(existing)) == 0);
        }
        TUmask umask(mask);
        QVERIFY(DecryptFileToFile(dir.File("box.dat"), dir.File("out.sim")));
        QCOMPARE(dir.Read("out.sim"), QByteArray("secret settings"));
        QCOMPARE(Mode(dir.File("out.sim")), 0600);
    }

    void ownerOnlyFolder_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<int>("existing");
        QTest::newRow("new, umask 022") << 022 << -1;
        QTest::newRow("new, umask 000") << 000 << -1;
        QTest::newRow("existing open folder is narrowed") << 022 << 0755;
        QTest::newRow("existing owner-only folder") << 022 << 0700;
    }
    void ownerOnlyFolder()
    {
        QFETCH(int, mask);
        QFETCH(int, existing);
        TTempAppFolder dir;
        const QString path = dir.File("profile/inner");
        if (existing >= 0) {
            QVERIFY(QDir().mkpath(path));
            QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(existing)) == 0);
        }
        TUmask umask(mask);
        QVERIFY(MakeOwnerOnlyFolder(path));
        QCOMPARE(Mode(path), 0700);
    }

    void ownerOnlyFolder_refusesAFile()
    {
        TTempAppFolder dir;
        dir.Write("profile", "x");
        QVERIFY(!MakeOwnerOnlyFolder(dir.File("profile")));
    }
};

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "test_private_files.moc"

// The container operations against a container assembled from OpenSSL's
// primitives, and their handling of damaged, short and hostile input.
#include "crypto/aes_lib.h"
#include "openssl_reference.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

// Counts heap allocations while armed, to show the streaming loops make none.
namespace {
std::atomic<bool> g_countAllocations{false};
std::atomic<int> g_allocations{0};
} // namespace

void *operator new(std::size_t size)
{
    if (g_countAllocations)
        ++g_allocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

QByteArray RandomBytes(QRandomGenerator &rng, qsizetype n)
{
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

std::vector<std::uint8_t> Vec(const QByteArray &a)
{
    return {a.begin(), a.end()};
}

QByteArray Bytes(const std::vector<std::uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), qsizetype(v.size()));
}

// The container built from OpenSSL's PBKDF2, AES and HMAC.
QByteArray ReferenceContainer(const QByteArray &passphrase, int keyMode, const QByteArray &salt,
                              const QByteArray &plain)
{
    const int k = 8 * keyMode + 8;
    const QByteArray derived = OpenSsl::Pbkdf2(passphrase, salt, 1000, 2 * k + 2);
    const QByteArray keystream = OpenSsl::CounterKeystream(derived.left(k), plain.size());
    QByteArray cipher = plain;
    for (qsizetype i = 0; i < cipher.size(); ++i)
        cipher[i] = char(cipher[i] ^ keystream[i]);
    return salt + derived.mid(2 * k, 2) + cipher + OpenSsl::HmacSha1(derived.mid(k, k), cipher).left(10);
}

std::uint32_t FixedEntropy(std::uint8_t *buffer, std::uint32_t count)
{
    std::memset(buffer, 0xA7, count);
    return count;
}

// Salts from a source that always says the same, so containers repeat.
class TRepeatableEncryption : public TEncryption
{
public:
    TRepeatableEncryption(std::string_view passphrase, std::int32_t bufferSize)
        : TEncryption(passphrase, bufferSize)
    {
        PoolInit(FixedEntropy, FPool);
    }
};

QByteArray EncryptBytes(TEncryption &e, const QByteArray &plain, bool *ok = nullptr)
{
    TMemoryStream source(Vec(plain)), destination;
    const bool result = e.Encrypt(source, destination);
    if (ok)
        *ok = result;
    return Bytes(destination.Data());
}

QByteArray EncryptBytes(const QByteArray &passphrase, const QByteArray &plain, int bufferSize = 0x40000)
{
    TRepeatableEncryption e(passphrase.toStdString(), bufferSize);
    return EncryptBytes(e, plain);
}

constexpr qint64 WholeContainer = std::numeric_limits<qint64>::min();

bool DecryptBytes(const QByteArray &passphrase, const QByteArray &container, QByteArray *plain,
                  qint64 size = WholeContainer, int bufferSize = 0x40000)
{
    TEncryption e(passphrase.toStdString(), bufferSize);
    TMemoryStream source(Vec(container)), destination;
    const bool ok = e.Decrypt(source, plain ? &destination : nullptr, size == WholeContainer ? container.size() : size);
    if (plain)
        *plain = Bytes(destination.Data());
    return ok;
}

// Throws on the n-th write, as a full disk would.
class TFailingStream : public TMemoryStream
{
public:
    explicit TFailingStream(int failAt) : FFailAt(failAt) {}
    void Write(const void *buffer, std::int64_t count) override
    {
        if (++FWrites == FFailAt)
            throw EStreamError("disk full");
        TMemoryStream::Write(buffer, count);
    }

private:
    int FFailAt;
    int FWrites = 0;
};

// Takes everything and keeps nothing, without touching the heap.
class TDiscardStream : public TStream
{
public:
    std::int64_t Read(void *, std::int64_t) override { return 0; }
    void Write(const void *, std::int64_t count) override { Written += count; }
    std::int64_t Size() override { return Written; }
    std::int64_t Written = 0;
};

const QByteArray Passphrase = "qorvendatu";

} // namespace

class TestContainer : public QObject
{
    Q_OBJECT

private slots:
    void matchesReference_data()
    {
        QTest::addColumn<int>("passphraseLength");
        QTest::addColumn<int>("keyMode");
        QTest::addColumn<int>("plainLength");
        QTest::newRow("empty, 10-byte passphrase") << 10 << 1 << 0;
        QTest::newRow("0-byte passphrase") << 0 << 1 << 5;
        QTest::newRow("31 bytes: mode 1") << 31 << 1 << 1000;
        QTest::newRow("32 bytes: mode 2") << 32 << 2 << 17;
        QTest::newRow("47 bytes: mode 2") << 47 << 2 << 70000;
        QTest::newRow("48 bytes: mode 3") << 48 << 3 << 1;
        QTest::newRow("128 bytes: mode 3") << 128 << 3 << 4096;
    }
    void matchesReference()
    {
        QFETCH(int, passphraseLength);
        QFETCH(int, keyMode);
        QFETCH(int, plainLength);
        QRandomGenerator rng(quint32(passphraseLength * 1000 + plainLength));
        const QByteArray passphrase = RandomBytes(rng, passphraseLength);
        const QByteArray plain = RandomBytes(rng, plainLength);
        const int saltLength = 4 * keyMode + 4;

        TEncryption e(passphrase.toStdString(), 4096);
        QCOMPARE(e.KeyMode(), keyMode);
        bool ok = false;
        const QByteArray container = EncryptBytes(e, plain, &ok);
        QVERIFY(ok);
        QCOMPARE(container.size(), plainLength + saltLength + 12);
        QCOMPARE(container, ReferenceContainer(passphrase, keyMode, container.left(saltLength), plain));

        // And a container with a salt we chose decrypts.
        const QByteArray foreign = ReferenceContainer(passphrase, keyMode, RandomBytes(rng, saltLength), plain);
        QByteArray decrypted;
        QVERIFY(DecryptBytes(passphrase, foreign, &decrypted, WholeContainer, 333));
        QCOMPARE(decrypted, plain);
    }

    void freshSaltEveryTime()
    {
        TEncryption e(Passphrase.toStdString(), 64);
        const QByteArray plain = "the same plaintext";
        const QByteArray a = EncryptBytes(e, plain);
        const QByteArray b = EncryptBytes(e, plain);
        TEncryption other(Passphrase.toStdString(), 64);
        const QByteArray c = EncryptBytes(other, plain);
        QVERIFY(a.left(8) != b.left(8));
        QVERIFY(a.left(8) != c.left(8));
        for (const QByteArray &container : {a, b, c}) {
            QByteArray out;
            QVERIFY(DecryptBytes(Passphrase, container, &out));
            QCOMPARE(out, plain);
        }
    }

    // The cut into chunks leaves no trace, also when the plaintext is an exact
    // multiple of the buffer (then one more read brings nothing).
    void independentOfBufferSize_data()
    {
        QTest::addColumn<int>("plainLength");
        QTest::newRow("0") << 0;
        QTest::newRow("16 * 17 * 15") << 16 * 17 * 15;
        QTest::newRow("3 * 262144") << 3 * 262144;
        QTest::newRow("262144 + 1") << 262144 + 1;
    }
    void independentOfBufferSize()
    {
        QFETCH(int, plainLength);
        QRandomGenerator rng(9);
        const QByteArray plain = RandomBytes(rng, plainLength);
        const QByteArray expected = EncryptBytes(Passphrase, plain, 262144);
        for (int bufferSize : {1, 15, 16, 17, 262144}) {
            if (bufferSize < 16 && plainLength > 10000)
                continue;  // byte-sized chunks over megabytes prove nothing more
            TRepeatableEncryption e(Passphrase.toStdString(), bufferSize);
            QList<qint64> totals;
            e.OnProgress = [&](TEncryption *sender, std::int32_t code, std::int64_t value) {
                QCOMPARE(sender, &e);
                QCOMPARE(code, ProgressEncryptChunk);
                totals << value;
            };
            QCOMPARE(EncryptBytes(e, plain), expected);
            QCOMPARE(totals.size(), plainLength / bufferSize + 1);
            QCOMPARE(totals.last(), qint64(plainLength));
            QByteArray out;
            QVERIFY(DecryptBytes(Passphrase, expected, &out, WholeContainer, bufferSize));
            QCOMPARE(out, plain);
        }
    }

    void decryptProgress()
    {
        const QByteArray container = EncryptBytes(Passphrase, "0123456789");
        TEncryption e(Passphrase.toStdString(), 4);
        QList<QPair<int, qint64>> events;
        e.OnProgress = [&](TEncryption *, std::int32_t code, std::int64_t value) { events.append({code, value}); };
        TMemoryStream source(Vec(container)), destination;
        QVERIFY(e.Decrypt(source, &destination, container.size()));
        const QList<QPair<int, qint64>> expected{{1, -30}, {5, 4}, {5, 4}, {5, 2}};
        QCOMPARE(events, expected);
    }

    // Streams are used from where they stand, and left where the operation
    // ended.
    void streamsStartAtTheirPositions()
    {
        const QByteArray plain = "payload";
        TMemoryStream store(Vec("prefix"));
        store.SetPosition(6);
        TMemoryStream source(Vec(plain));
        TEncryption e(Passphrase.toStdString(), 3);
        QVERIFY(e.Encrypt(source, store));
        store.Write("suffix", 6);
        QCOMPARE(store.Size(), qint64(6 + 20 + 7 + 6));
        store.SetPosition(6);
        TMemoryStream out;
        QVERIFY(e.Decrypt(store, &out, 27));
        QCOMPARE(Bytes(out.Data()), plain);
        QCOMPARE(store.Position(), qint64(33));
    }

    void damagedContainer_data()
    {
        QTest::addColumn<int>("flipAt");   // byte offset from the start; negative from the end
        QTest::addColumn<bool>("writes");  // whether the header passes
        QTest::newRow("ciphertext first byte") << 10 << true;
        QTest::newRow("ciphertext last byte") << -11 << true;
        QTest::newRow("code first byte") << -10 << true;
        QTest::newRow("code last byte") << -1 << true;
        QTest::newRow("verifier") << 8 << false;
        QTest::newRow("salt") << 0 << false;
    }
    void damagedContainer()
    {
        QFETCH(int, flipAt);
        QFETCH(bool, writes);
        QRandomGenerator rng(10);
        const QByteArray plain = RandomBytes(rng, 5000);
        QByteArray container = EncryptBytes(Passphrase, plain, 1000);
        const qsizetype at = flipAt < 0 ? container.size() + flipAt : flipAt;
        container[at] = char(container[at] ^ 0x10);
        QByteArray out;
        QVERIFY(!DecryptBytes(Passphrase, container, &out, WholeContainer, 1000));
        QVERIFY(!DecryptBytes(Passphrase, container, nullptr));
        if (!writes) {
            QVERIFY(out.isEmpty());
            return;
        }
        // Everything is written before the code is compared, a flipped
        // ciphertext bit flipped in the output and nowhere else.
        QByteArray expected = plain;
        if (at >= 10 && at < 10 + plain.size())
            expected[at - 10] = char(expected[at - 10] ^ 0x10);
        QCOMPARE(out, expected);
    }

    void wrongPassphraseWritesNothing()
    {
        const QByteArray container = EncryptBytes(Passphrase, "secret settings");
        QByteArray out = "untouched";
        QVERIFY(!DecryptBytes("qorvendatv", container, &out));
        QVERIFY(out.isEmpty());
        // Another key mode reads a different salt length: also refused.
        QVERIFY(!DecryptBytes(QByteArray(40, 'q'), container, &out));
        QVERIFY(out.isEmpty());
    }

    void verifyOnly()
    {
        const QByteArray container = EncryptBytes(Passphrase, QByteArray(100000, 'v'), 4096);
        QVERIFY(DecryptBytes(Passphrase, container, nullptr));
        QVERIFY(DecryptBytes(Passphrase, EncryptBytes(Passphrase, ""), nullptr));
    }

    // Sizes and sources that disagree with the container end in false, with
    // no more read than the source holds.
    void wrongSizes_data()
    {
        QTest::addColumn<int>("streamLength");  // bytes of the container the source holds
        QTest::addColumn<qint64>("size");       // size handed to Decrypt
        QTest::addColumn<int>("written");       // plaintext bytes that reach the destination
        // A container of 100 plaintext bytes is 120 bytes long.
        QTest::newRow("cut by one, shortened size") << 119 << qint64(119) << 99;
        QTest::newRow("cut by one, full size") << 119 << qint64(120) << 100;
        QTest::newRow("ends inside the data") << 60 << qint64(120) << 50;
        QTest::newRow("ends inside the header") << 9 << qint64(120) << 0;
        QTest::newRow("size too large") << 120 << qint64(10000) << 110;  // the code read as data
        QTest::newRow("size S + 11") << 120 << qint64(19) << 0;
        QTest::newRow("size 0") << 120 << qint64(0) << 0;
        QTest::newRow("size negative") << 120 << qint64(-5) << 0;
        QTest::newRow("size S + 12 of a longer container") << 120 << qint64(20) << 0;
        QTest::newRow("empty source") << 0 << qint64(120) << 0;
    }
    void wrongSizes()
    {
        QFETCH(int, streamLength);
        QFETCH(qint64, size);
        QFETCH(int, written);
        QRandomGenerator rng(11);
        const QByteArray plain = RandomBytes(rng, 100);
        const QByteArray container = EncryptBytes(Passphrase, plain, 64);
        for (int bufferSize : {7, 64, 262144}) {
            QByteArray out;
            QVERIFY(!DecryptBytes(Passphrase, container.left(streamLength), &out, size, bufferSize));
            QCOMPARE(out.size(), qsizetype(written));
            QCOMPARE(out.left(100), plain.left(written));
        }
    }

    void passphraseOver128Bytes()
    {
        const QByteArray longPassphrase(129, 'p');
        TEncryption e(longPassphrase.toStdString(), 64);
        bool ok = true;
        QVERIFY(EncryptBytes(e, "data", &ok).isEmpty());
        QVERIFY(!ok);
        // Nor is a container under such a passphrase accepted, though its
        // format is sound.
        QRandomGenerator rng(12);
        const QByteArray container = ReferenceContainer(longPassphrase, 3, RandomBytes(rng, 16), "data");
        QByteArray out;
        QVERIFY(!DecryptBytes(longPassphrase, container, &out));
        QVERIFY(out.isEmpty());
    }

    void cipherInitRefusals()
    {
        TCipherContext c;
        std::memset(&c, 0x33, sizeof c);
        const TCipherContext before = c;
        const std::uint8_t salt[16] = {};
        std::uint8_t verifier[2] = {9, 9};
        const QByteArray p(129, 'p');
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(p.constData());
        QCOMPARE(CipherInit(1, bytes, 129, salt, verifier, c), -100);
        QCOMPARE(CipherInit(0, bytes, 129, salt, verifier, c), -100);  // length is checked first
        QCOMPARE(CipherInit(0, bytes, 10, salt, verifier, c), -101);
        QCOMPARE(CipherInit(4, bytes, 10, salt, verifier, c), -101);
        QCOMPARE(std::memcmp(&c, &before, sizeof c), 0);
        QCOMPARE(verifier[0], std::uint8_t(9));
        QCOMPARE(CipherInit(1, bytes, 128, salt, verifier, c), 0);
    }

    void bufferSizeBelowOneIsRefused()
    {
        for (int size : {0, -1, INT_MIN}) {
            QVERIFY_THROWS_EXCEPTION(std::invalid_argument, TEncryption(Passphrase.toStdString(), size));
        }
    }

    void streamErrorsEndWithFalse_data()
    {
        QTest::addColumn<int>("failingWrite");
        QTest::addColumn<int>("written");  // container bytes written before the failure
        // Writes: salt, verifier, one per 4-byte chunk (3 for 10 bytes), code.
        QTest::newRow("salt") << 1 << 0;
        QTest::newRow("verifier") << 2 << 8;
        QTest::newRow("second chunk") << 4 << 14;
        QTest::newRow("code") << 6 << 20;
    }
    void streamErrorsEndWithFalse()
    {
        QFETCH(int, failingWrite);
        QFETCH(int, written);
        TEncryption e(Passphrase.toStdString(), 4);
        TMemoryStream source(Vec("0123456789"));
        TFailingStream destination(failingWrite);
        QVERIFY(!e.Encrypt(source, destination));
        QCOMPARE(destination.Size(), qint64(written));

        TMemoryStream container(Vec(EncryptBytes(Passphrase, "0123456789")));
        TFailingStream out(2);
        QVERIFY(!e.Decrypt(container, &out, 30));
        QCOMPARE(out.Size(), qint64(4));
    }

    // A progress handler can stop an operation by throwing.
    void progressHandlerCanCancel()
    {
        TEncryption e(Passphrase.toStdString(), 4);
        e.OnProgress = [](TEncryption *, std::int32_t, std::int64_t value) {
            if (value >= 8 || value < 0)
                throw std::runtime_error("cancelled");
        };
        TMemoryStream source(Vec("0123456789")), destination;
        QVERIFY(!e.Encrypt(source, destination));
        TMemoryStream container(Vec(EncryptBytes(Passphrase, "0123456789")));
        QVERIFY(!e.Decrypt(container, nullptr, 30));
    }

    void noAllocationWhileStreaming()
    {
        static std::uint8_t plain[4 << 20];
        std::memset(plain, 'z', sizeof plain);
        TEncryption e(Passphrase.toStdString(), 65536);
        TAreaStream source(plain, sizeof plain);
        TDiscardStream sink;
        g_allocations = 0;
        g_countAllocations = true;
        const bool ok = e.Encrypt(source, sink);
        g_countAllocations = false;
        QVERIFY(ok);
        QCOMPARE(sink.Written, qint64(sizeof plain + 20));
        QCOMPARE(g_allocations.load(), 0);
    }

    void fileStreams()
    {
        QTemporaryDir dir;
        const std::string plainPath = (dir.path() + "/plain.bin").toStdString();
        const std::string containerPath = (dir.path() + "/c.dat").toStdString();
        const QByteArray plain(300000, 'f');
        {
            TFileStream out(plainPath, TFileMode::Create);
            out.Write(plain.constData(), plain.size());
            out.Close();
        }
        TEncryption e(Passphrase.toStdString(), 0x40000);
        {
            TFileStream source(plainPath, TFileMode::OpenRead);
            QCOMPARE(source.Size(), qint64(plain.size()));
            TFileStream destination(containerPath, TFileMode::Create);
            QVERIFY(e.Encrypt(source, destination));
            destination.Close();
        }
        TFileStream container(containerPath, TFileMode::OpenRead);
        TMemoryStream out;
        QVERIFY(e.Decrypt(container, &out, container.Size()));
        QCOMPARE(Bytes(out.Data()), plain);

        try {
            TFileStream missing((dir.path() + "/missing").toStdString(), TFileMode::OpenRead);
            QFAIL("opened a missing file");
        } catch (const EStreamError &error) {
            QVERIFY(QByteArray(error.what()).contains("Cannot open file"));
            QVERIFY(QByteArray(error.what()).contains("No such file"));
        }
        // A folder fails at the open or at the first read.
        QVERIFY_THROWS_EXCEPTION(EStreamError, {
            TFileStream folder(dir.path().toStdString(), TFileMode::OpenRead);
            char byte;
            folder.Read(&byte, 1);
        });
    }
};

QTEST_GUILESS_MAIN(TestContainer)
#include "test_container.moc"

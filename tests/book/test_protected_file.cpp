// The protected book's file: what was written reads back exactly, and every
// kind of damage, a wrong password or a header asking too much is refused
// with its own fault, never half-read.
#include "book/protected_file.h"

#include <QBuffer>
#include <QTest>
#include <QtEndian>

#include <sodium.h>

#include <cstring>

namespace {

// Small enough for a suite; the program calibrates its own.
const TKdfParameters kFast{2, 8192 * 4};

QByteArray Seal(const TBookKeyPtr &key, const QByteArray &payload, qsizetype piece = 7)
{
    QByteArray file;
    TProtectedWriter writer(key, [&](const char *d, qsizetype n) { file.append(d, n); });
    // In odd pieces, so chunk borders fall inside writes.
    for (qsizetype at = 0; at < payload.size(); at += piece)
        writer.Write(payload.constData() + at, std::min(piece, payload.size() - at));
    writer.Finish();
    return file;
}

TProtectedContents Open(QByteArray file, const QByteArray &password)
{
    QBuffer in(&file);
    in.open(QIODevice::ReadOnly);
    return ReadProtectedFile(in, QStringLiteral("book.tarnwick"), password);
}

QByteArray Plain(const TProtectedContents &c)
{
    return QByteArray(c.payload->Data(), c.payload->Size());
}

// A header rewritten as a tool other than ours might, its checksum made good,
// so only the value itself can be refused.
QByteArray WithHeaderValue(QByteArray file, int at, quint64 value, int width)
{
    auto *p = reinterpret_cast<unsigned char *>(file.data());
    if (width == 8)
        qToLittleEndian<quint64>(value, p + at);
    else if (width == 4)
        qToLittleEndian<quint32>(quint32(value), p + at);
    else
        qToLittleEndian<quint16>(quint16(value), p + at);
    crypto_generichash(p + 88, 16, p, 88, nullptr, 0);
    return file;
}

} // namespace

Q_DECLARE_METATYPE(TProtectedFault)

class TestProtectedFile : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text of every script") << QByteArray("\xD0\x9F\xD1\x80\xD0\xB8 \xE6\x97\xA5\xE6\x9C\xAC "
                                                            "\xF0\x9F\x94\x91 \xC2\xA5 e\xCC\x81 \xD7\xA9\xD7\x9C");
        QByteArray chunk(1 << 20, 'x');
        QTest::newRow("exactly one chunk") << chunk;
        QTest::newRow("one byte past a chunk") << chunk + "y";
        QTest::newRow("three chunks and a bit") << chunk + chunk + chunk + "tail";
    }
    void roundTrip()
    {
        QFETCH(QByteArray, payload);
        const TBookKeyPtr key = TBookKey::Make("pässwörd \xF0\x9F\x94\x91", kFast);
        const QByteArray file = Seal(key, payload, payload.size() > 100 ? 300007 : 7);
        QVERIFY(!file.contains("every script"));
        const TProtectedContents read = Open(file, "pässwörd \xF0\x9F\x94\x91");
        QCOMPARE(Plain(read), payload);
        QCOMPARE(read.key->Salt(), key->Salt());
        // The key held after an unlock reads the same file without deriving.
        QByteArray again = file;
        QBuffer in(&again);
        in.open(QIODevice::ReadOnly);
        QCOMPARE(Plain(ReadProtectedFile(in, "b", read.key)), payload);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<TProtectedFault>("fault");
        const TBookKeyPtr key = TBookKey::Make("right", kFast);
        const QByteArray payload = QByteArray(1 << 20, 'p') + "secret tail";
        const QByteArray good = Seal(key, payload, 4096);
        const qsizetype head = ProtectedHeaderSize();
        const auto flipped = [&](qsizetype at) {
            QByteArray f = good;
            f[at] = char(f[at] ^ 0x01);
            return f;
        };
        QTest::newRow("wrong password") << good << QByteArray("Right") << TProtectedFault::WrongPassword;
        QTest::newRow("empty password") << good << QByteArray() << TProtectedFault::WrongPassword;
        QTest::newRow("flipped magic") << flipped(0) << QByteArray("right") << TProtectedFault::NotProtected;
        QTest::newRow("flipped version") << flipped(8) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("flipped salt") << flipped(40) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("flipped stream header") << flipped(60) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("flipped checksum") << flipped(head - 1) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("flipped first chunk") << flipped(head + 5) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("flipped last byte") << flipped(good.size() - 1) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("cut inside the header") << good.left(head - 10) << QByteArray("right") << TProtectedFault::CutShort;
        QTest::newRow("header alone") << good.left(head) << QByteArray("right") << TProtectedFault::CutShort;
        QTest::newRow("cut at the chunk border")
            << good.left(head + (1 << 20) + 17) << QByteArray("right") << TProtectedFault::CutShort;
        QTest::newRow("cut by one byte") << good.chopped(1) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("a byte added") << good + "x" << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("a chunk added") << good + good.mid(head, 40) << QByteArray("right") << TProtectedFault::Damaged;
        QTest::newRow("plain book") << QByteArray("Travel\xA5Hotels\xA5\r\n") << QByteArray("right")
                                    << TProtectedFault::NotProtected;
        QTest::newRow("memory above 1 GiB")
            << WithHeaderValue(good, 24, (quint64(1) << 30) + 1024, 8) << QByteArray("right") << TProtectedFault::Demanding;
        QTest::newRow("memory of all the machine")
            << WithHeaderValue(good, 24, ~quint64(0), 8) << QByteArray("right") << TProtectedFault::Demanding;
        QTest::newRow("absurd passes") << WithHeaderValue(good, 16, 1u << 31, 8) << QByteArray("right")
                                       << TProtectedFault::Demanding;
        QTest::newRow("no passes") << WithHeaderValue(good, 16, 0, 8) << QByteArray("right") << TProtectedFault::Demanding;
        QTest::newRow("later format") << WithHeaderValue(good, 8, 2, 2) << QByteArray("right")
                                      << TProtectedFault::Unsupported;
        QTest::newRow("other chunk size") << WithHeaderValue(good, 12, 4096, 4) << QByteArray("right")
                                          << TProtectedFault::Unsupported;
        // Values within limits but changed: another key, found out by the
        // key check rather than a half-decrypted payload.
        QTest::newRow("passes changed within limits")
            << WithHeaderValue(good, 16, 3, 8) << QByteArray("right") << TProtectedFault::WrongPassword;
    }
    void refused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, password);
        QFETCH(TProtectedFault, fault);
        try {
            Open(file, password);
            QFAIL("read");
        } catch (const EProtectedFileError &e) {
            QCOMPARE(e.Fault(), fault);
            QVERIFY(e.message().contains("book.tarnwick"));
        }
    }

    void keyOfAnotherPassword_isRefused()
    {
        const QByteArray file = Seal(TBookKey::Make("one", kFast), "text");
        QByteArray copy = file;
        QBuffer in(&copy);
        in.open(QIODevice::ReadOnly);
        try {
            ReadProtectedFile(in, "b", TBookKey::Make("one", kFast));
            QFAIL("read with a key of another salt");
        } catch (const EProtectedFileError &e) {
            QCOMPARE(e.Fault(), TProtectedFault::WrongPassword);
        }
    }

    void eachSave_encryptsAfresh()
    {
        // The same key and payload never give the same bytes: a fresh stream
        // header each time, so no two saves share a nonce.
        const TBookKeyPtr key = TBookKey::Make("pw", kFast);
        QVERIFY(Seal(key, "same") != Seal(key, "same"));
    }

    void payload_splits_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("ok");
        QTest::newRow("both parts") << PayloadPrefix(4) + "A\r\n\r\n" + "items" << true;
        QTest::newRow("no items") << PayloadPrefix(0) << true;
        QTest::newRow("length beyond the end") << PayloadPrefix(9) + "short" << false;
        QTest::newRow("no length") << QByteArray("abc") << false;
    }
    void payload_splits()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, ok);
        TSecureBuffer buffer(payload.size());
        std::memcpy(buffer.Data(), payload.constData(), size_t(payload.size()));
        QByteArray categories, items;
        try {
            SplitPayload(buffer, "b", &categories, &items);
            QVERIFY(ok);
            QCOMPARE(PayloadPrefix(categories.size()) + categories + items, payload);
        } catch (const EProtectedFileError &) {
            QVERIFY(!ok);
        }
    }

    void calibration_keepsTheLeastMemory()
    {
        const TKdfParameters kdf = CalibrateKdf(0.01, 8 << 20);
        QVERIFY(kdf.memory >= (8u << 20));
        QVERIFY(kdf.memory <= kMaxKdfMemory);
        QVERIFY(kdf.ops >= 2 && kdf.ops <= kMaxKdfOps);
    }
};

QTEST_GUILESS_MAIN(TestProtectedFile)
#include "test_protected_file.moc"

// The block cipher against FIPS-197 and OpenSSL, and the counter keystream
// against OpenSSL's AES of the little-endian counter blocks.
#include "crypto/aes.h"
#include "crypto/cipher.h"
#include "openssl_reference.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstring>

namespace {

const std::uint8_t *U8(const QByteArray &a)
{
    return reinterpret_cast<const std::uint8_t *>(a.constData());
}

QByteArray RandomBytes(QRandomGenerator &rng, qsizetype n)
{
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

QByteArray Encrypt(const QByteArray &key, const QByteArray &block, quint32 keyLength)
{
    TAesContext c;
    if (AesSetEncryptKey(U8(key), keyLength, c) != 1)
        return {};
    QByteArray out(16, '\0');
    AesEncryptBlock(U8(block), reinterpret_cast<std::uint8_t *>(out.data()), c);
    return out;
}

// A keystream state keyed directly with an AES key, as keying leaves it.
TCipherContext KeystreamState(const QByteArray &key, quint64 counter = 0)
{
    TCipherContext c;
    std::memset(&c, 0, sizeof c);
    AesSetEncryptKey(U8(key), quint32(key.size()), c.Aes);
    for (int i = 0; i < 8; ++i)
        c.Counter[i] = std::uint8_t(counter >> (8 * i));
    c.Position = 16;
    return c;
}

// The keystream itself: applied to zeros, in calls whose sizes cycle.
QByteArray Keystream(TCipherContext &c, qsizetype length, const QList<int> &pieces = {1 << 30})
{
    QByteArray data(length, '\0');
    for (qsizetype at = 0, i = 0; at < length; ++i) {
        const qsizetype n = qMin<qsizetype>(pieces[i % pieces.size()], length - at);
        CtrApply(reinterpret_cast<std::uint8_t *>(data.data()) + at, size_t(n), c);
        at += n;
    }
    return data;
}

} // namespace

class TestAes : public QObject
{
    Q_OBJECT

private slots:
    void fips197_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<quint32>("keyLength");
        QTest::addColumn<QByteArray>("cipher");
        const QByteArray k = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
        QTest::newRow("128 in bytes") << k.left(16) << 16u << QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a");
        QTest::newRow("128 in bits") << k.left(16) << 128u << QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a");
        QTest::newRow("192 in bytes") << k.left(24) << 24u << QByteArray("dda97ca4864cdfe06eaf70a0ec0d7191");
        QTest::newRow("192 in bits") << k.left(24) << 192u << QByteArray("dda97ca4864cdfe06eaf70a0ec0d7191");
        QTest::newRow("256 in bytes") << k << 32u << QByteArray("8ea2b7ca516745bfeafc49904b496089");
        QTest::newRow("256 in bits") << k << 256u << QByteArray("8ea2b7ca516745bfeafc49904b496089");
    }
    void fips197()
    {
        QFETCH(QByteArray, key);
        QFETCH(quint32, keyLength);
        QFETCH(QByteArray, cipher);
        const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        TAesContext c;
        QCOMPARE(AesSetEncryptKey(U8(key), keyLength, c), 1);
        QCOMPARE(c.Rounds, quint32(key.size() / 4 + 6));
        QCOMPARE(c.Flags, 17u);
        QCOMPARE(Encrypt(key, plain, keyLength).toHex(), cipher);
        QByteArray inPlace = plain;
        QCOMPARE(AesEncryptBlock(U8(inPlace), reinterpret_cast<std::uint8_t *>(inPlace.data()), c), 1);
        QCOMPARE(inPlace.toHex(), cipher);
    }

    void refusedKeyLength_data()
    {
        QTest::addColumn<quint32>("keyLength");
        for (quint32 n : {0u, 1u, 15u, 20u, 33u, 64u, 127u, 129u, 512u})
            QTest::newRow(qPrintable(QString::number(n))) << n;
    }
    void refusedKeyLength()
    {
        QFETCH(quint32, keyLength);
        const QByteArray key(64, '\x11');
        TAesContext c;
        AesSetEncryptKey(U8(key), 16, c);
        QCOMPARE(AesSetEncryptKey(U8(key), keyLength, c), 0);
        QCOMPARE(c.Rounds, 0u);
        QCOMPARE(c.Flags, 16u);
        QByteArray out(16, '\x77');
        QCOMPARE(AesEncryptBlock(U8(key), reinterpret_cast<std::uint8_t *>(out.data()), c), 0);
        QCOMPARE(out, QByteArray(16, '\x77'));
    }

    void blocksMatchOpenSsl()
    {
        QRandomGenerator rng(5);
        for (int size : {16, 24, 32}) {
            for (int round = 0; round < 100; ++round) {
                const QByteArray key = RandomBytes(rng, size);
                const QByteArray block = RandomBytes(rng, 16);
                QCOMPARE(Encrypt(key, block, quint32(size)), OpenSsl::AesEcb(key, block));
            }
        }
    }

    // The first 257 blocks from a zero counter: block 256 is the counter
    // 00 01 00 ..., block 257 is 01 01 00 ...
    void keystreamFromZero()
    {
        const QByteArray key = QByteArray::fromHex("2b7e151628aed2a6abf7158809cf4f3c");
        TCipherContext c = KeystreamState(key);
        const QByteArray stream = Keystream(c, 257 * 16);
        QCOMPARE(stream.left(16), OpenSsl::AesEcb(key, QByteArray::fromHex("01000000000000000000000000000000")));
        QCOMPARE(stream.mid(255 * 16, 16), OpenSsl::AesEcb(key, QByteArray::fromHex("00010000000000000000000000000000")));
        QCOMPARE(stream.mid(256 * 16, 16), OpenSsl::AesEcb(key, QByteArray::fromHex("01010000000000000000000000000000")));
        QCOMPARE(stream, OpenSsl::CounterKeystream(key, stream.size()));
        QCOMPARE(c.Counter[0], std::uint8_t(1));
        QCOMPARE(c.Counter[1], std::uint8_t(1));
    }

    // The carry runs through bytes 0..7 and stops there: byte 8 never moves.
    void counterCarry_data()
    {
        QTest::addColumn<quint64>("start");
        quint64 v = 0;
        for (int bytes = 1; bytes <= 8; ++bytes) {
            v = (v << 8) | 0xFF;
            QTest::newRow(qPrintable(QStringLiteral("%1 bytes of FF").arg(bytes))) << v - 1;
        }
    }
    void counterCarry()
    {
        QFETCH(quint64, start);
        const QByteArray key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f1011121314151617");
        TCipherContext c = KeystreamState(key, start);
        QCOMPARE(Keystream(c, 3 * 16, {5, 16, 11}), OpenSsl::CounterKeystream(key, 3 * 16, start + 1));
        const quint64 expected = start + 3;  // wraps past all-FF to small numbers
        for (int i = 0; i < 8; ++i)
            QCOMPARE(c.Counter[i], std::uint8_t(expected >> (8 * i)));
        for (int i = 8; i < 16; ++i)
            QCOMPARE(c.Counter[i], std::uint8_t(0));
    }

    void keystreamIndependentOfCallSizes_data()
    {
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("1") << QList<int>{1};
        QTest::newRow("15") << QList<int>{15};
        QTest::newRow("16") << QList<int>{16};
        QTest::newRow("17") << QList<int>{17};
        QTest::newRow("1000") << QList<int>{1000};
        QTest::newRow("mixed with empty calls") << QList<int>{0, 3, 0, 29, 16, 0, 1};
    }
    void keystreamIndependentOfCallSizes()
    {
        QFETCH(QList<int>, pieces);
        const QByteArray key(32, '\x42');
        TCipherContext whole = KeystreamState(key);
        const QByteArray expected = Keystream(whole, 3000);
        TCipherContext pieced = KeystreamState(key);
        QByteArray data(3000, '\0');
        for (qsizetype at = 0, i = 0; at < data.size(); ++i) {
            const qsizetype n = qMin<qsizetype>(pieces[i % pieces.size()], data.size() - at);
            CtrApply(reinterpret_cast<std::uint8_t *>(data.data()) + at, size_t(n), pieced);
            at += n;
        }
        QCOMPARE(data, expected);
        QCOMPARE(std::memcmp(&whole, &pieced, sizeof whole), 0);
    }

    void keystreamMatchesOpenSsl()
    {
        QRandomGenerator rng(6);
        for (int round = 0; round < 90; ++round) {
            const QByteArray key = RandomBytes(rng, 16 + 8 * (round % 3));
            const qsizetype length = rng.bounded(0, 4000);
            QList<int> pieces;
            for (int i = 0; i < 5; ++i)
                pieces << int(rng.bounded(0, 70));
            pieces << 1;
            TCipherContext c = KeystreamState(key);
            QCOMPARE(Keystream(c, length, pieces), OpenSsl::CounterKeystream(key, length));
        }
    }

    void applyingTwiceRestores()
    {
        QRandomGenerator rng(7);
        const QByteArray key = RandomBytes(rng, 16);
        const QByteArray plain = RandomBytes(rng, 999);
        QByteArray data = plain;
        TCipherContext a = KeystreamState(key);
        TCipherContext b = a;
        CtrApply(reinterpret_cast<std::uint8_t *>(data.data()), size_t(data.size()), a);
        QVERIFY(data != plain);
        CtrApply(reinterpret_cast<std::uint8_t *>(data.data()), size_t(data.size()), b);
        QCOMPARE(data, plain);
    }
};

QTEST_GUILESS_MAIN(TestAes)
#include "test_aes.moc"

// SHA-1, HMAC-SHA1 and PBKDF2 against the published vectors and against
// OpenSSL over random inputs.
#include "crypto/sha1.h"
#include "openssl_reference.h"

#include <QRandomGenerator>
#include <QTest>

#include <cstring>

namespace {

QByteArray Sha1Pieces(const QByteArray &data, int piece)
{
    TSha1Context c;
    Sha1Init(c);
    for (qsizetype at = 0; at < data.size(); at += piece)
        Sha1Update(data.constData() + at, size_t(qMin<qsizetype>(piece, data.size() - at)), c);
    QByteArray out(20, '\0');
    Sha1Final(reinterpret_cast<std::uint8_t *>(out.data()), c);
    return out;
}

QByteArray Sha1(const QByteArray &data)
{
    return Sha1Pieces(data, int(qMax<qsizetype>(1, data.size())));
}

// Key and data are fed in pieces whose sizes cycle through the lists.
QByteArray Hmac(const QByteArray &key, const QByteArray &data, const QList<int> &keyPieces = {1 << 30},
                const QList<int> &dataPieces = {1 << 30}, int length = 20)
{
    THmacContext c;
    HmacInit(c);
    for (qsizetype at = 0, i = 0; at < key.size(); ++i) {
        const qsizetype n = qMin<qsizetype>(keyPieces[i % keyPieces.size()], key.size() - at);
        if (HmacSetKey(key.constData() + at, size_t(n), c) != 0)
            return {};
        at += n;
    }
    for (qsizetype at = 0, i = 0; at < data.size(); ++i) {
        const qsizetype n = qMin<qsizetype>(dataPieces[i % dataPieces.size()], data.size() - at);
        HmacUpdate(data.constData() + at, size_t(n), c);
        at += n;
    }
    QByteArray out(length, '\0');
    HmacFinal(reinterpret_cast<std::uint8_t *>(out.data()), size_t(length), c);
    return out;
}

QByteArray Pbkdf2(const QByteArray &password, const QByteArray &salt, quint32 iterations, int length)
{
    QByteArray out(length, '\0');
    DeriveKey(password.constData(), size_t(password.size()), salt.constData(), size_t(salt.size()),
              iterations, reinterpret_cast<std::uint8_t *>(out.data()), size_t(length));
    return out;
}

QByteArray RandomBytes(QRandomGenerator &rng, qsizetype n)
{
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(rng.bounded(256));
    return b;
}

QList<int> RandomPieces(QRandomGenerator &rng)
{
    QList<int> pieces;
    for (int i = 0; i < 7; ++i)
        pieces << int(rng.bounded(1, 150));
    return pieces;
}

} // namespace

class TestHash : public QObject
{
    Q_OBJECT

private slots:
    void sha1Vectors_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("empty") << QByteArray() << QByteArray("da39a3ee5e6b4b0d3255bfef95601890afd80709");
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d");
        QTest::newRow("448 bits") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                                  << QByteArray("84983e441c3bd26ebaae4aa1f95129e5e54670f1");
        QTest::newRow("896 bits")
            << QByteArray("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu")
            << QByteArray("a49b2446a02c645bf419f995b67091253a04a259");
        QTest::newRow("million a") << QByteArray(1000000, 'a') << QByteArray("34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    }
    void sha1Vectors()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, digest);
        for (int piece : {1, 63, 64, 65, int(qMax<qsizetype>(1, message.size()))})
            QCOMPARE(Sha1Pieces(message, piece).toHex(), digest);
    }

    // Every length through three blocks, so each padding case (55 bytes in one
    // block, 56..63 spilling into a second) is met.
    void sha1MatchesOpenSslAtEveryLength()
    {
        QRandomGenerator rng(1);
        const QByteArray data = RandomBytes(rng, 200);
        for (int n = 0; n <= data.size(); ++n)
            QCOMPARE(Sha1(data.left(n)), OpenSsl::Sha1(data.left(n)));
    }

    void sha1MatchesOpenSslInRandomPieces()
    {
        QRandomGenerator rng(2);
        for (int round = 0; round < 200; ++round) {
            const QByteArray data = RandomBytes(rng, rng.bounded(0, 5000));
            const QList<int> pieces = RandomPieces(rng);
            TSha1Context c;
            Sha1Init(c);
            for (qsizetype at = 0, i = 0; at < data.size(); ++i) {
                const qsizetype n = qMin<qsizetype>(pieces[i % pieces.size()], data.size() - at);
                Sha1Update(data.constData() + at, size_t(n), c);
                at += n;
            }
            QByteArray ours(20, '\0');
            Sha1Final(reinterpret_cast<std::uint8_t *>(ours.data()), c);
            QCOMPARE(ours, OpenSsl::Sha1Chunked(data, RandomPieces(rng)));
        }
    }

    void byteCountCarriesIntoHighWord()
    {
        TSha1Context c;
        Sha1Init(c);
        c.Count[0] = 0xFFFFFFF0u;
        const QByteArray data(32, 'x');
        Sha1Update(data.constData(), 32, c);
        QCOMPARE(c.Count[0], 0x10u);
        QCOMPARE(c.Count[1], 1u);
    }

    // The bare compression leaves padding and the count to the caller: fed
    // the padded block of "abc" it yields the digest's words.
    void compressIsOneBareBlock()
    {
        TSha1Context c;
        Sha1Init(c);
        std::memset(c.Block, 0, 64);
        std::memcpy(c.Block, "abc\x80", 4);
        c.Block[63] = 24;
        Sha1Compress(c);
        QCOMPARE(c.Count[0], 0u);
        QCOMPARE(c.Hash[0], 0xa9993e36u);
        QCOMPARE(c.Hash[4], 0x9cd0d89du);
    }

    void hmacRfc2202_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("mac");
        QTest::newRow("1") << QByteArray(20, '\x0b') << QByteArray("Hi There")
                           << QByteArray("b617318655057264e28bc0b6fb378c8ef146be00");
        QTest::newRow("2") << QByteArray("Jefe") << QByteArray("what do ya want for nothing?")
                           << QByteArray("effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
        QTest::newRow("3") << QByteArray(20, '\xaa') << QByteArray(50, '\xdd')
                           << QByteArray("125d7342b9ac11cd91a39af48aa17b4f63f175d3");
        QTest::newRow("4") << QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10111213141516171819")
                           << QByteArray(50, '\xcd') << QByteArray("4c9007f4026250c6bc8414f9bf50c86c2d7235da");
        QTest::newRow("5") << QByteArray(20, '\x0c') << QByteArray("Test With Truncation")
                           << QByteArray("4c1a03424b55e07fe7f27be1d58bb9324a9a5a04");
        QTest::newRow("6 long key") << QByteArray(80, '\xaa')
                                    << QByteArray("Test Using Larger Than Block-Size Key - Hash Key First")
                                    << QByteArray("aa4ae5e15272d00e95705637ce8a3b55ed402112");
        QTest::newRow("7 long key and data")
            << QByteArray(80, '\xaa')
            << QByteArray("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data")
            << QByteArray("e8e99d0f45237d786d6bbaa7965c7808bbff1a91");
    }
    void hmacRfc2202()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, mac);
        QCOMPARE(Hmac(key, data).toHex(), mac);
        // Keys in parts, including parts that cross the 64-byte block and a
        // long key whose first 64 bytes were stored before it spilled over.
        for (const QList<int> &parts : {QList<int>{1}, QList<int>{7, 13}, QList<int>{64, 16}, QList<int>{63, 1, 16}})
            QCOMPARE(Hmac(key, data, parts).toHex(), mac);
        QCOMPARE(Hmac(key, data, {1 << 30}, {1}).toHex(), mac);
        QCOMPARE(Hmac(key, data, {1 << 30}, {1 << 30}, 10).toHex(), mac.left(20));
    }

    void hmacSetKeyAfterDataIsRefused()
    {
        THmacContext c;
        HmacInit(c);
        QCOMPARE(HmacSetKey("Jefe", 4, c), 0);
        HmacUpdate("what do ya want ", 16, c);
        const THmacContext before = c;
        QCOMPARE(HmacSetKey("more", 4, c), -1);
        QCOMPARE(std::memcmp(&before, &c, sizeof c), 0);
        HmacUpdate("for nothing?", 12, c);
        std::uint8_t mac[20];
        HmacFinal(mac, 20, c);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(mac), 20).toHex(),
                 QByteArray("effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"));
    }

    void hmacFinalIsCappedAt20()
    {
        THmacContext c;
        HmacInit(c);
        HmacSetKey("Jefe", 4, c);
        HmacUpdate("what do ya want for nothing?", 28, c);
        QByteArray out(32, '\x5a');
        QCOMPARE(HmacFinal(reinterpret_cast<std::uint8_t *>(out.data()), 32, c), size_t(20));
        QCOMPARE(out.left(20).toHex(), QByteArray("effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"));
        QCOMPARE(out.mid(20), QByteArray(12, '\x5a'));
    }

    // A context copied byte for byte in any phase finishes like the original.
    void hmacContextCopiesByteForByte()
    {
        THmacContext c;
        HmacInit(c);
        HmacSetKey(QByteArray(70, 'k').constData(), 70, c);
        HmacUpdate("part one", 8, c);
        THmacContext copy;
        std::memcpy(&copy, &c, sizeof c);
        std::uint8_t a[20], b[20];
        HmacUpdate("tail", 4, c);
        HmacUpdate("tail", 4, copy);
        HmacFinal(a, 20, c);
        HmacFinal(b, 20, copy);
        QCOMPARE(std::memcmp(a, b, 20), 0);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(a), 20),
                 OpenSsl::HmacSha1(QByteArray(70, 'k'), "part onetail"));
    }

    void hmacMatchesOpenSsl()
    {
        QRandomGenerator rng(3);
        for (int round = 0; round < 300; ++round) {
            const QByteArray key = RandomBytes(rng, rng.bounded(0, 200));
            const QByteArray data = RandomBytes(rng, rng.bounded(0, 3000));
            QCOMPARE(Hmac(key, data, RandomPieces(rng), RandomPieces(rng)), OpenSsl::HmacSha1(key, data));
        }
    }

    void pbkdf2Rfc6070_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("salt");
        QTest::addColumn<quint32>("iterations");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("1 iteration") << QByteArray("password") << QByteArray("salt") << 1u
                                     << QByteArray("0c60c80f961f0e71f3a9b524af6012062fe037a6");
        QTest::newRow("2 iterations") << QByteArray("password") << QByteArray("salt") << 2u
                                      << QByteArray("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957");
        QTest::newRow("4096 iterations") << QByteArray("password") << QByteArray("salt") << 4096u
                                         << QByteArray("4b007901b765489abead49d926f721d065a429c1");
        QTest::newRow("25 bytes") << QByteArray("passwordPASSWORDpassword")
                                  << QByteArray("saltSALTsaltSALTsaltSALTsaltSALTsalt") << 4096u
                                  << QByteArray("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038");
        QTest::newRow("NUL bytes") << QByteArray("pass\0word", 9) << QByteArray("sa\0lt", 5) << 4096u
                                   << QByteArray("56fa6aa75548099dcc37d7f03425e0c3");
    }
    void pbkdf2Rfc6070()
    {
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, salt);
        QFETCH(quint32, iterations);
        QFETCH(QByteArray, key);
        QCOMPARE(Pbkdf2(password, salt, iterations, int(key.size() / 2)).toHex(), key);
    }

    // The container's key lengths are prefixes of a longer output.
    void pbkdf2OutputIsAPrefix()
    {
        const QByteArray longer = Pbkdf2("qorvendatu", "12345678", 1000, 66);
        for (int n : {34, 50, 66})
            QCOMPARE(Pbkdf2("qorvendatu", "12345678", 1000, n), longer.left(n));
    }

    void pbkdf2MatchesOpenSsl()
    {
        QRandomGenerator rng(4);
        for (int round = 0; round < 60; ++round) {
            const QByteArray password = RandomBytes(rng, rng.bounded(0, 150));
            const QByteArray salt = RandomBytes(rng, rng.bounded(0, 40));
            const int iterations = int(rng.bounded(1, 60));
            const int length = int(rng.bounded(1, 100));
            QCOMPARE(Pbkdf2(password, salt, quint32(iterations), length),
                     OpenSsl::Pbkdf2(password, salt, iterations, length));
        }
        QCOMPARE(Pbkdf2("qorvendatu", "saltsalt", 1000, 34), OpenSsl::Pbkdf2("qorvendatu", "saltsalt", 1000, 34));
    }
};

QTEST_GUILESS_MAIN(TestHash)
#include "test_hash.moc"

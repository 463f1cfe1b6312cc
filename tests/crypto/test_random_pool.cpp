// The salt pool: its reads, refreshes and mixing, and its dependence on the
// entropy source alone.
#include "crypto/random_pool.h"
#include "crypto/sha1.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <cstring>

namespace {

// Entropy sources are plain functions, so the scripted ones share this state.
std::uint32_t g_next = 0;
int g_calls = 0;

std::uint8_t SequenceByte(std::uint32_t i)
{
    return std::uint8_t((i * 2654435761u) >> 13);
}

template <std::uint32_t Piece>
std::uint32_t SequenceSource(std::uint8_t *buffer, std::uint32_t count)
{
    ++g_calls;
    const std::uint32_t n = count < Piece ? count : Piece;
    for (std::uint32_t i = 0; i < n; ++i)
        buffer[i] = SequenceByte(g_next++);
    return n;
}

std::uint32_t ConstantSource(std::uint8_t *buffer, std::uint32_t count)
{
    ++g_calls;
    std::memset(buffer, 0x5C, count);
    return count;
}

TRandomPool Started(TEntropyFunction source)
{
    g_next = 0;
    g_calls = 0;
    TRandomPool pool;
    PoolInit(source, pool);
    return pool;
}

bool Same(const TRandomPool &a, const TRandomPool &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

QByteArray Read(TRandomPool &pool, std::uint32_t n)
{
    QByteArray out(qsizetype(n), '\0');
    PoolRead(reinterpret_cast<std::uint8_t *>(out.data()), n, pool);
    return out;
}

} // namespace

class TestRandomPool : public QObject
{
    Q_OBJECT

private slots:
    void readOfNothingChangesNothing()
    {
        TRandomPool pool = Started(SequenceSource<8>);
        const TRandomPool before = pool;
        PoolRead(nullptr, 0, pool);
        QVERIFY(Same(pool, before));
    }

    void readsAcrossTheRefresh_data()
    {
        QTest::addColumn<quint32>("length");
        QTest::newRow("259") << 259u;
        QTest::newRow("260") << 260u;
        QTest::newRow("261") << 261u;
        QTest::newRow("600") << 600u;
    }
    void readsAcrossTheRefresh()
    {
        QFETCH(quint32, length);
        TRandomPool pool = Started(SequenceSource<8>);
        QCOMPARE(g_calls, 66);  // 33 per refresh at 8 bytes a call
        // The model draws the same entropy the pool will draw.
        const std::uint32_t next = g_next;
        TRandomPool model = pool;
        QByteArray expected;
        while (quint32(expected.size()) < length) {
            expected.append(reinterpret_cast<const char *>(model.Output), PoolSize);
            PoolRefresh(model);
        }
        g_next = next;
        g_calls = 66;
        const QByteArray got = Read(pool, length);
        QCOMPARE(got, expected.left(length));
        QCOMPARE(pool.Position, length % PoolSize);
        QCOMPARE(g_calls, 66 + 33 * int(length / PoolSize));
        if (length % PoolSize == 0)
            QVERIFY(Same(pool, model));
    }

    // Salts of 8 bytes: the 33rd takes 4 old and 4 new bytes, whatever the
    // read sizes that came before.
    void readSizesDoNotMatter()
    {
        TRandomPool a = Started(SequenceSource<8>);
        TRandomPool b = Started(SequenceSource<8>);
        QByteArray salts;
        for (int i = 0; i < 40; ++i)
            salts += Read(a, 8);
        QCOMPARE(salts, Read(b, 320));
    }

    // All variety comes from the source: a source that repeats itself makes
    // every pool alike, and a one-byte source equals the same bytes in pieces.
    void outputDependsOnlyOnTheSource()
    {
        TRandomPool a = Started(ConstantSource);
        TRandomPool b = Started(ConstantSource);
        QCOMPARE(Read(a, 1000), Read(b, 1000));

        TRandomPool one = Started(SequenceSource<1>);
        QCOMPARE(g_calls, 2 * 260);
        const QByteArray fromOne = Read(one, 777);
        TRandomPool eight = Started(SequenceSource<8>);
        QCOMPARE(Read(eight, 777), fromOne);
        TRandomPool whole = Started(SequenceSource<260>);
        QCOMPARE(g_calls, 2);
        QCOMPARE(Read(whole, 777), fromOne);
        QVERIFY(fromOne != Read(a, 777));
    }

    // One pass rewrites the 13 blocks in order; each takes its chaining value
    // (little-endian) from the 20 bytes before it and its message from the 64
    // bytes from it on, wrapping to the start, as they stand at that moment.
    void mixChainsTheBlocksInOrder()
    {
        QRandomGenerator rng(8);
        std::uint8_t area[PoolSize];
        for (std::uint8_t &b : area)
            b = std::uint8_t(rng.bounded(256));
        std::uint8_t expected[PoolSize];
        std::memcpy(expected, area, PoolSize);
        for (std::uint32_t i = 0; i < PoolSize; i += 20) {
            TSha1Context sha;
            for (std::uint32_t w = 0; w < 5; ++w) {
                const std::uint32_t at = (i + PoolSize - 20 + 4 * w) % PoolSize;
                sha.Hash[w] = std::uint32_t(expected[at]) | std::uint32_t(expected[at + 1]) << 8
                              | std::uint32_t(expected[at + 2]) << 16 | std::uint32_t(expected[at + 3]) << 24;
            }
            for (std::uint32_t k = 0; k < 64; ++k)
                sha.Block[k] = expected[(i + k) % PoolSize];
            Sha1Compress(sha);
            for (std::uint32_t w = 0; w < 5; ++w)
                for (std::uint32_t k = 0; k < 4; ++k)
                    expected[i + 4 * w + k] = std::uint8_t(sha.Hash[w] >> (8 * k));
        }
        PoolMix(area);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(area), PoolSize),
                 QByteArray(reinterpret_cast<char *>(expected), PoolSize));
    }

    void clearWipesEverything()
    {
        TRandomPool pool = Started(SequenceSource<8>);
        Read(pool, 3);
        PoolClear(pool);
        TRandomPool zero;
        std::memset(&zero, 0, sizeof zero);
        QVERIFY(Same(pool, zero));
    }

    void counterEntropy_data()
    {
        QTest::addColumn<quint32>("count");
        QTest::addColumn<quint32>("written");
        QTest::newRow("1") << 1u << 1u;
        QTest::newRow("7") << 7u << 7u;
        QTest::newRow("8") << 8u << 8u;
        QTest::newRow("260") << 260u << 8u;
    }
    void counterEntropy()
    {
        QFETCH(quint32, count);
        QFETCH(quint32, written);
        QByteArray buffer(300, '\x7e');
        QCOMPARE(CounterEntropy(reinterpret_cast<std::uint8_t *>(buffer.data()), count), written);
        QCOMPARE(buffer.mid(written), QByteArray(300 - written, '\x7e'));
    }

    void counterEntropyChanges()
    {
        QSet<QByteArray> seen;
        for (int i = 0; i < 1000 && seen.size() < 2; ++i) {
            QByteArray b(8, '\0');
            CounterEntropy(reinterpret_cast<std::uint8_t *>(b.data()), 8);
            seen.insert(b);
        }
        QCOMPARE(seen.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestRandomPool)
#include "test_random_pool.moc"

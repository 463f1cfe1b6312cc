#include "random_pool.h"

#include "sha1.h"

#include <chrono>
#include <cstring>

namespace {

inline std::uint32_t LoadLE32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
           | (std::uint32_t(p[3]) << 24);
}

inline void StoreLE32(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

// The counter reading succeeds when the clock resolves at least microseconds.
bool ReadFineCounter(std::uint64_t &value)
{
    using Clock = std::chrono::steady_clock;
    if constexpr (std::ratio_greater_v<Clock::period, std::micro>) {
        return false;
    } else {
        value = std::uint64_t(Clock::now().time_since_epoch().count());
        return true;
    }
}

std::uint32_t MillisecondTicks()
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return std::uint32_t(ms.count());
}

} // namespace

void PoolMix(std::uint8_t area[PoolSize])
{
    TSha1Context sha;
    for (std::uint32_t i = 0; i < PoolSize; i += 20) {
        // Chaining value: the 20 bytes before i, read little-endian; each
        // block sees the ones already rewritten in this pass.
        const std::uint8_t *chain = area + (i == 0 ? PoolSize - 20 : i - 20);
        for (int w = 0; w < 5; ++w)
            sha.Hash[w] = LoadLE32(chain + 4 * w);
        const std::uint32_t first = PoolSize - i < 64 ? PoolSize - i : 64;
        std::memcpy(sha.Block, area + i, first);
        std::memcpy(sha.Block + first, area, 64 - first);
        Sha1Compress(sha);
        for (int w = 0; w < 5; ++w)
            StoreLE32(area + i + 4 * w, sha.Hash[w]);
    }
    SecureZero(&sha, sizeof sha);
}

void PoolRefresh(TRandomPool &pool)
{
    std::memcpy(pool.Output, pool.Pool, PoolSize);
    std::uint32_t k = 0;
    while (k < PoolSize) {
        const std::uint32_t want = PoolSize - k;
        const std::uint32_t got = pool.Entropy(pool.Pool + k, want);
        // A source that claims more than it was asked for must not push the
        // fill past the end.
        k += got < want ? got : want;
    }
    for (std::uint32_t i = 0; i < PoolSize; ++i)
        pool.Pool[i] ^= std::uint8_t(~pool.Output[i]);
    PoolMix(pool.Pool);
    PoolMix(pool.Output);
}

void PoolInit(TEntropyFunction entropy, TRandomPool &pool)
{
    std::memset(&pool, 0, sizeof pool);
    pool.Entropy = entropy;
    PoolRefresh(pool);
    for (int i = 0; i < 20; ++i)
        PoolMix(pool.Pool);
    PoolRefresh(pool);
    pool.Position = 0;
}

void PoolRead(std::uint8_t *data, std::uint32_t length, TRandomPool &pool)
{
    std::uint32_t p = pool.Position;
    while (length > 0) {
        const std::uint32_t n = length < PoolSize - p ? length : PoolSize - p;
        std::memcpy(data, pool.Output + p, n);
        data += n;
        length -= n;
        p += n;
        if (p == PoolSize) {
            PoolRefresh(pool);
            p = 0;
        }
    }
    pool.Position = p;
}

void PoolClear(TRandomPool &pool)
{
    SecureZero(&pool, sizeof pool);
}

std::uint32_t CounterEntropy(std::uint8_t *buffer, std::uint32_t count)
{
    std::uint64_t value;
    if (!ReadFineCounter(value))
        value = MillisecondTicks();
    const std::uint32_t n = count < 8 ? count : 8;
    for (std::uint32_t i = 0; i < n; ++i)
        buffer[i] = std::uint8_t(value >> (8 * i));
    return n;
}

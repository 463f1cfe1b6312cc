#pragma once
// The salt generator: a pool stirred with the SHA-1 compression function and
// fed from a timing counter.

#include <cstdint>
#include <type_traits>

// Writes between 1 and `count` (>= 1) bytes to the start of the buffer and
// returns how many. It must never return 0: the pool calls it until full.
using TEntropyFunction = std::uint32_t (*)(std::uint8_t *buffer, std::uint32_t count);

inline constexpr std::uint32_t PoolSize = 260;  // 13 SHA-1 digests, at least 256 bytes

struct TRandomPool
{
    std::uint8_t Pool[PoolSize];
    std::uint8_t Output[PoolSize];
    std::uint32_t Position;  // next byte of Output to hand out
    TEntropyFunction Entropy;
};

static_assert(std::is_trivially_copyable_v<TRandomPool> && std::is_standard_layout_v<TRandomPool>);

void PoolInit(TEntropyFunction entropy, TRandomPool &pool);
void PoolRead(std::uint8_t *data, std::uint32_t length, TRandomPool &pool);
void PoolClear(TRandomPool &pool);
void PoolMix(std::uint8_t area[PoolSize]);
void PoolRefresh(TRandomPool &pool);

// A fast-changing 64-bit counter, least significant byte first (at most 8
// bytes per call); a millisecond clock stands in when no fine counter exists.
std::uint32_t CounterEntropy(std::uint8_t *buffer, std::uint32_t count);

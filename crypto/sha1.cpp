#include "sha1.h"
#include "byte_order.h"

#include <cstring>

namespace {

inline std::uint32_t Rol(std::uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

using byte_order::LoadBE32;
using byte_order::StoreBE32;

// The 80 steps, unrolled: the message schedule lives in a 16-word ring.
#define TW_BLK(i) (w[(i) & 15] = Rol(w[((i) + 13) & 15] ^ w[((i) + 8) & 15] ^ w[((i) + 2) & 15] ^ w[(i) & 15], 1))
#define TW_R0(v, u, x, y, z, i) z += ((u & (x ^ y)) ^ y) + w[i] + 0x5A827999u + Rol(v, 5); u = Rol(u, 30);
#define TW_R1(v, u, x, y, z, i) z += ((u & (x ^ y)) ^ y) + TW_BLK(i) + 0x5A827999u + Rol(v, 5); u = Rol(u, 30);
#define TW_R2(v, u, x, y, z, i) z += (u ^ x ^ y) + TW_BLK(i) + 0x6ED9EBA1u + Rol(v, 5); u = Rol(u, 30);
#define TW_R3(v, u, x, y, z, i) z += (((u | x) & y) | (u & x)) + TW_BLK(i) + 0x8F1BBCDCu + Rol(v, 5); u = Rol(u, 30);
#define TW_R4(v, u, x, y, z, i) z += (u ^ x ^ y) + TW_BLK(i) + 0xCA62C1D6u + Rol(v, 5); u = Rol(u, 30);

void CompressBlock(std::uint32_t hash[5], const std::uint8_t *block)
{
    std::uint32_t w[16];
    for (int i = 0; i < 16; ++i)
        w[i] = LoadBE32(block + 4 * i);
    std::uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3], e = hash[4];

    TW_R0(a, b, c, d, e, 0) TW_R0(e, a, b, c, d, 1) TW_R0(d, e, a, b, c, 2) TW_R0(c, d, e, a, b, 3)
    TW_R0(b, c, d, e, a, 4) TW_R0(a, b, c, d, e, 5) TW_R0(e, a, b, c, d, 6) TW_R0(d, e, a, b, c, 7)
    TW_R0(c, d, e, a, b, 8) TW_R0(b, c, d, e, a, 9) TW_R0(a, b, c, d, e, 10) TW_R0(e, a, b, c, d, 11)
    TW_R0(d, e, a, b, c, 12) TW_R0(c, d, e, a, b, 13) TW_R0(b, c, d, e, a, 14) TW_R0(a, b, c, d, e, 15)
    TW_R1(e, a, b, c, d, 16) TW_R1(d, e, a, b, c, 17) TW_R1(c, d, e, a, b, 18) TW_R1(b, c, d, e, a, 19)
    TW_R2(a, b, c, d, e, 20) TW_R2(e, a, b, c, d, 21) TW_R2(d, e, a, b, c, 22) TW_R2(c, d, e, a, b, 23)
    TW_R2(b, c, d, e, a, 24) TW_R2(a, b, c, d, e, 25) TW_R2(e, a, b, c, d, 26) TW_R2(d, e, a, b, c, 27)
    TW_R2(c, d, e, a, b, 28) TW_R2(b, c, d, e, a, 29) TW_R2(a, b, c, d, e, 30) TW_R2(e, a, b, c, d, 31)
    TW_R2(d, e, a, b, c, 32) TW_R2(c, d, e, a, b, 33) TW_R2(b, c, d, e, a, 34) TW_R2(a, b, c, d, e, 35)
    TW_R2(e, a, b, c, d, 36) TW_R2(d, e, a, b, c, 37) TW_R2(c, d, e, a, b, 38) TW_R2(b, c, d, e, a, 39)
    TW_R3(a, b, c, d, e, 40) TW_R3(e, a, b, c, d, 41) TW_R3(d, e, a, b, c, 42) TW_R3(c, d, e, a, b, 43)
    TW_R3(b, c, d, e, a, 44) TW_R3(a, b, c, d, e, 45) TW_R3(e, a, b, c, d, 46) TW_R3(d, e, a, b, c, 47)
    TW_R3(c, d, e, a, b, 48) TW_R3(b, c, d, e, a, 49) TW_R3(a, b, c, d, e, 50) TW_R3(e, a, b, c, d, 51)
    TW_R3(d, e, a, b, c, 52) TW_R3(c, d, e, a, b, 53) TW_R3(b, c, d, e, a, 54) TW_R3(a, b, c, d, e, 55)
    TW_R3(e, a, b, c, d, 56) TW_R3(d, e, a, b, c, 57) TW_R3(c, d, e, a, b, 58) TW_R3(b, c, d, e, a, 59)
    TW_R4(a, b, c, d, e, 60) TW_R4(e, a, b, c, d, 61) TW_R4(d, e, a, b, c, 62) TW_R4(c, d, e, a, b, 63)
    TW_R4(b, c, d, e, a, 64) TW_R4(a, b, c, d, e, 65) TW_R4(e, a, b, c, d, 66) TW_R4(d, e, a, b, c, 67)
    TW_R4(c, d, e, a, b, 68) TW_R4(b, c, d, e, a, 69) TW_R4(a, b, c, d, e, 70) TW_R4(e, a, b, c, d, 71)
    TW_R4(d, e, a, b, c, 72) TW_R4(c, d, e, a, b, 73) TW_R4(b, c, d, e, a, 74) TW_R4(a, b, c, d, e, 75)
    TW_R4(e, a, b, c, d, 76) TW_R4(d, e, a, b, c, 77) TW_R4(c, d, e, a, b, 78) TW_R4(b, c, d, e, a, 79)

    hash[0] += a;
    hash[1] += b;
    hash[2] += c;
    hash[3] += d;
    hash[4] += e;
}

#undef TW_BLK
#undef TW_R0
#undef TW_R1
#undef TW_R2
#undef TW_R3
#undef TW_R4

} // namespace

void Sha1Init(TSha1Context &context)
{
    context.Count[0] = 0;
    context.Count[1] = 0;
    context.Hash[0] = 0x67452301u;
    context.Hash[1] = 0xEFCDAB89u;
    context.Hash[2] = 0x98BADCFEu;
    context.Hash[3] = 0x10325476u;
    context.Hash[4] = 0xC3D2E1F0u;
    std::memset(context.Block, 0, sizeof context.Block);
}

void Sha1Compress(TSha1Context &context)
{
    CompressBlock(context.Hash, context.Block);
}

void Sha1Update(const void *data, std::size_t length, TSha1Context &context)
{
    if (length == 0)
        return;
    const auto *p = static_cast<const std::uint8_t *>(data);
    std::size_t fill = context.Count[0] & 63;

    const std::uint32_t low = context.Count[0];
    context.Count[0] = low + std::uint32_t(length);
    context.Count[1] += std::uint32_t(std::uint64_t(length) >> 32) + (context.Count[0] < low ? 1u : 0u);

    if (fill != 0) {
        const std::size_t take = length < 64 - fill ? length : 64 - fill;
        std::memcpy(context.Block + fill, p, take);
        p += take;
        length -= take;
        if (fill + take < 64)
            return;
        CompressBlock(context.Hash, context.Block);
    }
    // Whole blocks straight from the caller's data, without a copy.
    for (; length >= 64; p += 64, length -= 64)
        CompressBlock(context.Hash, p);
    if (length != 0)
        std::memcpy(context.Block, p, length);
}

void Sha1Final(std::uint8_t digest[20], TSha1Context &context)
{
    const std::uint64_t bits = ((std::uint64_t(context.Count[1]) << 32) | context.Count[0]) << 3;
    std::size_t fill = context.Count[0] & 63;
    context.Block[fill++] = 0x80;
    if (fill > 56) {
        std::memset(context.Block + fill, 0, 64 - fill);
        CompressBlock(context.Hash, context.Block);
        fill = 0;
    }
    std::memset(context.Block + fill, 0, 56 - fill);
    StoreBE32(context.Block + 56, std::uint32_t(bits >> 32));
    StoreBE32(context.Block + 60, std::uint32_t(bits));
    CompressBlock(context.Hash, context.Block);
    for (int i = 0; i < 5; ++i)
        StoreBE32(digest + 4 * i, context.Hash[i]);
}

void SecureZero(void *data, std::size_t length)
{
    volatile auto *p = static_cast<volatile std::uint8_t *>(data);
    while (length--)
        *p++ = 0;
}

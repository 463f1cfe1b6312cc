#include "aes.h"
#include "byte_order.h"

#include <array>
#include <cstring>

namespace {

constexpr std::uint8_t XTime(std::uint8_t x)
{
    return std::uint8_t((x << 1) ^ ((x & 0x80) ? 0x1B : 0x00));
}

constexpr std::uint8_t Rotl8(std::uint8_t x, int n)
{
    return std::uint8_t((x << n) | (x >> (8 - n)));
}

// The S-box from its definition: multiplicative inverse in GF(2^8), then the
// affine map. p walks the field by powers of 3, q by the matching inverses.
constexpr std::array<std::uint8_t, 256> MakeSBox()
{
    std::array<std::uint8_t, 256> s{};
    std::uint8_t p = 1, q = 1;
    do {
        p = std::uint8_t(p ^ XTime(p));
        q = std::uint8_t(q ^ (q << 1));
        q = std::uint8_t(q ^ (q << 2));
        q = std::uint8_t(q ^ (q << 4));
        if (q & 0x80)
            q ^= 0x09;
        s[p] = std::uint8_t(q ^ Rotl8(q, 1) ^ Rotl8(q, 2) ^ Rotl8(q, 3) ^ Rotl8(q, 4) ^ 0x63);
    } while (p != 1);
    s[0] = 0x63;
    return s;
}

constexpr std::array<std::uint8_t, 256> SBox = MakeSBox();

constexpr std::uint32_t RotR(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

struct TTables
{
    std::uint32_t Round[4][256];  // T0 = (2S, S, S, 3S), T1..T3 rotated right by 8, 16, 24
    std::uint32_t Final[4][256];  // S alone in the most, second, third, least significant byte
};

constexpr TTables MakeTables()
{
    TTables t{};
    for (int x = 0; x < 256; ++x) {
        const std::uint8_t s = SBox[std::size_t(x)];
        const std::uint8_t s2 = XTime(s);
        const std::uint8_t s3 = std::uint8_t(s2 ^ s);
        const std::uint32_t t0 = (std::uint32_t(s2) << 24) | (std::uint32_t(s) << 16)
                                 | (std::uint32_t(s) << 8) | std::uint32_t(s3);
        t.Round[0][x] = t0;
        t.Round[1][x] = RotR(t0, 8);
        t.Round[2][x] = RotR(t0, 16);
        t.Round[3][x] = RotR(t0, 24);
        t.Final[0][x] = std::uint32_t(s) << 24;
        t.Final[1][x] = std::uint32_t(s) << 16;
        t.Final[2][x] = std::uint32_t(s) << 8;
        t.Final[3][x] = std::uint32_t(s);
    }
    return t;
}

constexpr TTables Tables = MakeTables();

constexpr std::uint32_t RoundConstants[10] = {0x01000000u, 0x02000000u, 0x04000000u, 0x08000000u,
                                              0x10000000u, 0x20000000u, 0x40000000u, 0x80000000u,
                                              0x1B000000u, 0x36000000u};

using byte_order::LoadBE32;
using byte_order::StoreBE32;

inline std::uint32_t SubWord(std::uint32_t w)
{
    return (std::uint32_t(SBox[w >> 24]) << 24) | (std::uint32_t(SBox[(w >> 16) & 0xFF]) << 16)
           | (std::uint32_t(SBox[(w >> 8) & 0xFF]) << 8) | std::uint32_t(SBox[w & 0xFF]);
}

} // namespace

int AesSetEncryptKey(const std::uint8_t *key, std::uint32_t keyLength, TAesContext &context)
{
    std::memset(&context, 0, sizeof context);
    context.Flags = AesBlockSize;
    std::uint32_t nk;
    switch (keyLength) {
    case 16: case 128: nk = 4; break;
    case 24: case 192: nk = 6; break;
    case 32: case 256: nk = 8; break;
    default: return 0;
    }
    std::uint32_t *w = context.RoundKeys;
    for (std::uint32_t i = 0; i < nk; ++i)
        w[i] = LoadBE32(key + 4 * i);
    const std::uint32_t total = 4 * (nk + 7);
    for (std::uint32_t i = nk; i < total; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % nk == 0)
            temp = SubWord((temp << 8) | (temp >> 24)) ^ RoundConstants[i / nk - 1];
        else if (nk == 8 && i % nk == 4)
            temp = SubWord(temp);
        w[i] = w[i - nk] ^ temp;
    }
    context.Rounds = nk + 6;
    context.Flags = AesBlockSize | AesKeyedForEncryption;
    return 1;
}

int AesEncryptBlock(const std::uint8_t input[16], std::uint8_t output[16], const TAesContext &context)
{
    const std::uint32_t rounds = context.Rounds;
    // A context copied from garbage must not send the loop past the schedule.
    if (!(context.Flags & AesKeyedForEncryption) || (rounds != 10 && rounds != 12 && rounds != 14))
        return 0;
    const std::uint32_t *rk = context.RoundKeys;
    const auto &T0 = Tables.Round[0], &T1 = Tables.Round[1], &T2 = Tables.Round[2], &T3 = Tables.Round[3];

    std::uint32_t s0 = LoadBE32(input) ^ rk[0];
    std::uint32_t s1 = LoadBE32(input + 4) ^ rk[1];
    std::uint32_t s2 = LoadBE32(input + 8) ^ rk[2];
    std::uint32_t s3 = LoadBE32(input + 12) ^ rk[3];
    for (std::uint32_t r = 1; r < rounds; ++r) {
        rk += 4;
        const std::uint32_t t0 = T0[s0 >> 24] ^ T1[(s1 >> 16) & 0xFF] ^ T2[(s2 >> 8) & 0xFF] ^ T3[s3 & 0xFF] ^ rk[0];
        const std::uint32_t t1 = T0[s1 >> 24] ^ T1[(s2 >> 16) & 0xFF] ^ T2[(s3 >> 8) & 0xFF] ^ T3[s0 & 0xFF] ^ rk[1];
        const std::uint32_t t2 = T0[s2 >> 24] ^ T1[(s3 >> 16) & 0xFF] ^ T2[(s0 >> 8) & 0xFF] ^ T3[s1 & 0xFF] ^ rk[2];
        const std::uint32_t t3 = T0[s3 >> 24] ^ T1[(s0 >> 16) & 0xFF] ^ T2[(s1 >> 8) & 0xFF] ^ T3[s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const auto &F0 = Tables.Final[0], &F1 = Tables.Final[1], &F2 = Tables.Final[2], &F3 = Tables.Final[3];
    StoreBE32(output, F0[s0 >> 24] ^ F1[(s1 >> 16) & 0xFF] ^ F2[(s2 >> 8) & 0xFF] ^ F3[s3 & 0xFF] ^ rk[0]);
    StoreBE32(output + 4, F0[s1 >> 24] ^ F1[(s2 >> 16) & 0xFF] ^ F2[(s3 >> 8) & 0xFF] ^ F3[s0 & 0xFF] ^ rk[1]);
    StoreBE32(output + 8, F0[s2 >> 24] ^ F1[(s3 >> 16) & 0xFF] ^ F2[(s0 >> 8) & 0xFF] ^ F3[s1 & 0xFF] ^ rk[2]);
    StoreBE32(output + 12, F0[s3 >> 24] ^ F1[(s0 >> 16) & 0xFF] ^ F2[(s1 >> 8) & 0xFF] ^ F3[s2 & 0xFF] ^ rk[3]);
    return 1;
}

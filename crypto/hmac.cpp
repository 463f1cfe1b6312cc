#include "sha1.h"

#include <algorithm>
#include <cstring>

namespace {

void StartDataPhase(THmacContext &context)
{
    std::uint32_t k = context.KeyLength;
    if (k > 64) {
        // A long key is replaced by its digest.
        Sha1Final(context.KeyBlock, context.Hash);
        k = 20;
    }
    std::memset(context.KeyBlock + k, 0, 64 - k);
    for (std::uint8_t &b : context.KeyBlock)
        b ^= 0x36;
    Sha1Init(context.Hash);
    Sha1Update(context.KeyBlock, 64, context.Hash);
    context.KeyLength = HmacDataPhase;
}

} // namespace

void HmacInit(THmacContext &context)
{
    std::memset(&context, 0, sizeof context);
}

int HmacSetKey(const void *key, std::size_t length, THmacContext &context)
{
    if (context.KeyLength == HmacDataPhase)
        return -1;
    const std::uint64_t k = context.KeyLength;
    if (k + length <= 64) {
        if (length != 0)
            std::memcpy(context.KeyBlock + k, key, length);
    } else {
        if (k <= 64) {
            Sha1Init(context.Hash);
            Sha1Update(context.KeyBlock, std::size_t(k), context.Hash);
        }
        Sha1Update(key, length, context.Hash);
    }
    // Past 64 bytes only "more than 64" matters; saturating keeps a huge key
    // from wrapping round to a short one or to the data-phase mark.
    context.KeyLength = std::uint32_t(std::min<std::uint64_t>(k + length, HmacDataPhase - 1));
    return 0;
}

void HmacUpdate(const void *data, std::size_t length, THmacContext &context)
{
    if (context.KeyLength != HmacDataPhase)
        StartDataPhase(context);
    Sha1Update(data, length, context.Hash);
}

std::size_t HmacFinal(std::uint8_t *mac, std::size_t length, THmacContext &context)
{
    if (context.KeyLength != HmacDataPhase)
        StartDataPhase(context);
    std::uint8_t digest[20];
    Sha1Final(digest, context.Hash);
    // ipad ^ opad: the key block becomes key ^ 0x5C.
    for (std::uint8_t &b : context.KeyBlock)
        b ^= 0x6A;
    Sha1Init(context.Hash);
    Sha1Update(context.KeyBlock, 64, context.Hash);
    Sha1Update(digest, 20, context.Hash);
    Sha1Final(digest, context.Hash);
    const std::size_t n = std::min<std::size_t>(length, 20);
    std::memcpy(mac, digest, n);
    SecureZero(digest, sizeof digest);
    return n;
}

void DeriveKey(const void *password, std::size_t passwordLength, const void *salt,
               std::size_t saltLength, std::uint32_t iterations, std::uint8_t *key,
               std::size_t keyLength)
{
    if (keyLength == 0)
        return;
    THmacContext p;
    HmacInit(p);
    HmacSetKey(password, passwordLength, p);
    THmacContext s = p;
    HmacUpdate(salt, saltLength, s);

    // Every later iteration is an HMAC of 20 bytes under the same key, so the
    // two padded key blocks are hashed once here instead of once per
    // iteration; the result is the same, at half the compressions.
    THmacContext inner = p;
    HmacUpdate(nullptr, 0, inner);
    TSha1Context outer;
    Sha1Init(outer);
    std::uint8_t pad[64];
    for (int i = 0; i < 64; ++i)
        pad[i] = inner.KeyBlock[i] ^ 0x6A;
    Sha1Update(pad, 64, outer);

    const std::size_t blocks = (keyLength - 1) / 20 + 1;
    for (std::size_t i = 1; i <= blocks; ++i) {
        std::uint8_t u[20] = {std::uint8_t(i >> 24), std::uint8_t(i >> 16), std::uint8_t(i >> 8),
                              std::uint8_t(i)};
        std::uint8_t x[20] = {};
        for (std::uint32_t j = 0; j < iterations; ++j) {
            if (j == 0) {
                THmacContext c = s;
                HmacUpdate(u, 4, c);
                HmacFinal(u, 20, c);
                SecureZero(&c, sizeof c);
            } else {
                TSha1Context h = inner.Hash;
                Sha1Update(u, 20, h);
                Sha1Final(u, h);
                h = outer;
                Sha1Update(u, 20, h);
                Sha1Final(u, h);
                SecureZero(&h, sizeof h);
            }
            for (int b = 0; b < 20; ++b)
                x[b] ^= u[b];
        }
        const std::size_t offset = 20 * (i - 1);
        std::memcpy(key + offset, x, std::min<std::size_t>(20, keyLength - offset));
        SecureZero(u, sizeof u);
        SecureZero(x, sizeof x);
    }
    SecureZero(&p, sizeof p);
    SecureZero(&s, sizeof s);
    SecureZero(&inner, sizeof inner);
    SecureZero(&outer, sizeof outer);
    SecureZero(pad, sizeof pad);
}

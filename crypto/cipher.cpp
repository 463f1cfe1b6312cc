#include "cipher.h"

#include <cstring>

namespace {

inline void NextKeystreamBlock(TCipherContext &context)
{
    // Little-endian over bytes 0..7 only; the carry never reaches byte 8.
    for (int i = 0; i < 8; ++i)
        if (++context.Counter[i] != 0)
            break;
    AesEncryptBlock(context.Counter, context.Keystream, context.Aes);
}

inline void Xor16(std::uint8_t *data, const std::uint8_t *keystream)
{
    std::uint64_t d[2], k[2];
    std::memcpy(d, data, 16);
    std::memcpy(k, keystream, 16);
    d[0] ^= k[0];
    d[1] ^= k[1];
    std::memcpy(data, d, 16);
}

} // namespace

void CtrApply(std::uint8_t *data, std::size_t length, TCipherContext &context)
{
    std::uint32_t p = context.Position;
    if (p > 16)
        p = 16;
    // Finish the current block byte by byte, then go a whole block at a time.
    while (length > 0 && p < 16) {
        *data++ ^= context.Keystream[p++];
        --length;
    }
    while (length >= 16) {
        NextKeystreamBlock(context);
        Xor16(data, context.Keystream);
        data += 16;
        length -= 16;
    }
    if (length > 0) {
        NextKeystreamBlock(context);
        for (p = 0; p < length; ++p)
            data[p] ^= context.Keystream[p];
    }
    context.Position = p;
}

std::int32_t CipherInit(std::int32_t keyMode, const std::uint8_t *passphrase,
                        std::uint32_t passphraseLength, const std::uint8_t *salt,
                        std::uint8_t verifier[2], TCipherContext &context)
{
    if (passphraseLength > MaxPassphraseLength)
        return CipherPassphraseTooLong;
    if (keyMode < 1 || keyMode > 3)
        return CipherBadKeyMode;
    context.KeyMode = keyMode;
    context.PassphraseLength = passphraseLength;

    const std::uint32_t keyLength = 8 * std::uint32_t(keyMode) + 8;
    std::uint8_t derived[66];
    DeriveKey(passphrase, passphraseLength, salt, std::size_t(SaltLength[keyMode]),
              KeyDerivationIterations, derived, 2 * keyLength + 2);

    context.Position = 16;
    std::memset(context.Counter, 0, sizeof context.Counter);
    AesSetEncryptKey(derived, keyLength, context.Aes);
    HmacInit(context.Mac);
    HmacSetKey(derived + keyLength, keyLength, context.Mac);
    verifier[0] = derived[2 * keyLength];
    verifier[1] = derived[2 * keyLength + 1];
    SecureZero(derived, sizeof derived);
    return 0;
}

void CipherEncrypt(std::uint8_t *data, std::size_t length, TCipherContext &context)
{
    CtrApply(data, length, context);
    HmacUpdate(data, length, context.Mac);
}

void CipherDecrypt(std::uint8_t *data, std::size_t length, TCipherContext &context)
{
    HmacUpdate(data, length, context.Mac);
    CtrApply(data, length, context);
}

std::int32_t CipherFinish(std::uint8_t code[10], TCipherContext &context)
{
    HmacFinal(code, CodeLength, context.Mac);
    return CodeLength;
}

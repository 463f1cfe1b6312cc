#include "encryption.h"

#include <cstring>
#include <stdexcept>

namespace {

// Compares without an early exit, so the time taken does not tell how many
// leading bytes of a forged code were right.
bool SameBytes(const std::uint8_t *a, const std::uint8_t *b, std::size_t length)
{
    std::uint8_t diff = 0;
    for (std::size_t i = 0; i < length; ++i)
        diff |= std::uint8_t(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

TCrypt::TCrypt(std::string_view passphrase, std::int32_t bufferSize)
    : FPassphrase(passphrase), FBufferSize(bufferSize)
{
    if (bufferSize < 1)
        throw std::invalid_argument("The buffer size must be at least 1 byte.");
    std::memset(&FContext, 0, sizeof FContext);
    FBuffer = std::make_unique<std::uint8_t[]>(std::size_t(bufferSize));
    FKeyMode = FPassphrase.size() < 32 ? 1 : FPassphrase.size() < 48 ? 2 : 3;
}

TCrypt::~TCrypt()
{
    SecureZero(&FContext, sizeof FContext);
    SecureZero(FBuffer.get(), std::size_t(FBufferSize));
    SecureZero(FPassphrase.data(), FPassphrase.size());
}

TEncryption::TEncryption(std::string_view passphrase, std::int32_t bufferSize)
    : TCrypt(passphrase, bufferSize)
{
    PoolInit(CounterEntropy, FPool);
}

TEncryption::~TEncryption()
{
    PoolClear(FPool);
}

void TEncryption::DoProgress(std::int32_t code, std::int64_t value)
{
    if (OnProgress)
        OnProgress(this, code, value);
}

bool TEncryption::WriteHeader(TStream &destination)
{
    try {
        // Checked here as well: a length beyond 32 bits would otherwise wrap
        // into the accepted range on its way to the context.
        if (FPassphrase.size() > MaxPassphraseLength)
            return false;
        std::uint8_t salt[16];
        std::uint8_t verifier[2];
        const std::int32_t saltLength = SaltLength[FKeyMode];
        PoolRead(salt, std::uint32_t(saltLength), FPool);
        if (CipherInit(FKeyMode, reinterpret_cast<const std::uint8_t *>(FPassphrase.data()),
                       std::uint32_t(FPassphrase.size()), salt, verifier, FContext) != 0)
            return false;
        destination.Write(salt, saltLength);
        destination.Write(verifier, VerifierLength);
        return true;
    } catch (...) {
        return false;
    }
}

bool TEncryption::WriteTrailer(TStream &destination)
{
    try {
        std::uint8_t code[32] = {};
        CipherFinish(code, FContext);
        destination.Write(code, CodeLength);
        return true;
    } catch (...) {
        return false;
    }
}

bool TEncryption::ReadHeader(TStream &source)
{
    try {
        if (FPassphrase.size() > MaxPassphraseLength)
            return false;
        std::uint8_t salt[16];
        std::uint8_t verifier[2];
        std::uint8_t stored[2];
        const std::int32_t saltLength = SaltLength[FKeyMode];
        if (source.Read(salt, saltLength) != saltLength)
            return false;
        if (CipherInit(FKeyMode, reinterpret_cast<const std::uint8_t *>(FPassphrase.data()),
                       std::uint32_t(FPassphrase.size()), salt, verifier, FContext) != 0)
            return false;
        if (source.Read(stored, VerifierLength) != VerifierLength)
            return false;
        return stored[0] == verifier[0] && stored[1] == verifier[1];
    } catch (...) {
        return false;
    }
}

bool TEncryption::CheckTrailer(TStream &source)
{
    try {
        std::uint8_t computed[32] = {};
        std::uint8_t stored[32] = {};
        CipherFinish(computed, FContext);
        // A code that ends early is a damaged container, even when the
        // missing bytes happen to match zeros.
        if (source.Read(stored, CodeLength) != CodeLength)
            return false;
        return SameBytes(computed, stored, sizeof computed);
    } catch (...) {
        return false;
    }
}

bool TEncryption::Encrypt(TStream &source, TStream &destination)
{
    if (!WriteHeader(destination))
        return false;
    try {
        std::int64_t total = 0;
        std::int64_t n;
        do {
            n = source.Read(FBuffer.get(), FBufferSize);
            if (n < 0 || n > FBufferSize)
                return false;
            total += n;
            DoProgress(ProgressEncryptChunk, total);
            CipherEncrypt(FBuffer.get(), std::size_t(n), FContext);
            destination.Write(FBuffer.get(), n);
        } while (n == FBufferSize);
    } catch (...) {
        return false;
    }
    return WriteTrailer(destination);
}

bool TEncryption::Decrypt(TStream &source, TStream *destination, std::int64_t size)
{
    try {
        DoProgress(ProgressDecryptStart, -source.Size());
    } catch (...) {
        return false;
    }
    const std::int64_t overhead = SaltLength[FKeyMode] + VerifierLength + CodeLength;
    if (size < overhead)
        return false;
    if (!ReadHeader(source))
        return false;
    try {
        std::int64_t remaining = size - overhead;
        do {
            const std::int64_t chunk = remaining < FBufferSize ? remaining : FBufferSize;
            const std::int64_t n = source.Read(FBuffer.get(), chunk);
            if (n < 0 || n > chunk)
                return false;
            // The source ended before the size said it would.
            if (n == 0 && chunk > 0)
                return false;
            DoProgress(ProgressDecryptChunk, n);
            CipherDecrypt(FBuffer.get(), std::size_t(n), FContext);
            if (destination)
                destination->Write(FBuffer.get(), n);
            remaining -= n;
        } while (remaining > 0);
    } catch (...) {
        return false;
    }
    return CheckTrailer(source);
}

#pragma once
// The password-protected container: salt, 2-byte password verifier,
// ciphertext as long as the plaintext, 10-byte authentication code.

#include "cipher.h"
#include "random_pool.h"
#include "streams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TCrypt
{
public:
    // The key mode follows from the passphrase's length: under 32 bytes 1
    // (AES-128), under 48 bytes 2 (AES-192), else 3 (AES-256). Raises
    // std::invalid_argument for a buffer size below 1.
    TCrypt(std::string_view passphrase, std::int32_t bufferSize);
    virtual ~TCrypt();
    TCrypt(const TCrypt &) = delete;
    TCrypt &operator=(const TCrypt &) = delete;

    std::int32_t KeyMode() const { return FKeyMode; }
    std::int32_t BufferSize() const { return FBufferSize; }

protected:
    std::int32_t FKeyMode;
    TCipherContext FContext;
    std::string FPassphrase;
    std::int32_t FBufferSize;
    std::unique_ptr<std::uint8_t[]> FBuffer;
};

class TEncryption;

// Progress codes and their values.
enum : std::int32_t {
    ProgressDecryptStart = 1,  // before the header is read: minus the source's whole size
    ProgressEncryptChunk = 4,  // after each read: plaintext bytes read so far
    ProgressDecryptChunk = 5,  // after each read: bytes delivered by this read
};

using TProgressEvent = std::function<void(TEncryption *sender, std::int32_t code, std::int64_t value)>;

// Streams belong to the caller; reading and writing start at their current
// positions and neither is repositioned or closed. Failures are reported by
// the result only: an error a stream raises ends the operation with false.
class TEncryption : public TCrypt
{
public:
    TEncryption(std::string_view passphrase, std::int32_t bufferSize);
    ~TEncryption() override;

    bool Encrypt(TStream &source, TStream &destination);
    // `size` is the container's length from the source's current position.
    // Without a destination the container is only verified. Plaintext reaches
    // the destination before the code is checked: on false, callers must not
    // trust what was written.
    bool Decrypt(TStream &source, TStream *destination, std::int64_t size);

    TProgressEvent OnProgress;

protected:
    bool WriteHeader(TStream &destination);
    bool WriteTrailer(TStream &destination);
    bool ReadHeader(TStream &source);
    bool CheckTrailer(TStream &source);
    void DoProgress(std::int32_t code, std::int64_t value);

    TRandomPool FPool;
};

// The settings container decrypted in memory with the program's passphrase.
// The first input byte picks the chunk size, so reads that end anywhere in
// the header, the data or the authentication code are tried.
#include "crypto/encryption.h"
#include "fuzz_check.h"
#include "util/file_crypt.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::int32_t bufferSize = 1 + data[0] % 64;
    TAreaStream source(data + 1, std::int64_t(size - 1));
    TMemoryStream plain;
    TEncryption crypt(ContainerPassphrase, bufferSize);
    const bool opened = crypt.Decrypt(source, &plain, std::int64_t(size - 1));
    // Salt (8 bytes for this key mode), verifier and code around the text.
    if (opened)
        FUZZ_CHECK(plain.Size() == std::int64_t(size - 1) - 8 - 2 - 10);

    // What opened was sound: sealed again, it opens to the same text.
    if (opened) {
        TAreaStream text(plain.Data().data(), plain.Size());
        TMemoryStream sealed;
        FUZZ_CHECK(crypt.Encrypt(text, sealed));
        sealed.SetPosition(0);
        TMemoryStream again;
        FUZZ_CHECK(crypt.Decrypt(sealed, &again, sealed.Size()));
        FUZZ_CHECK(again.Data() == plain.Data());
    }
    return 0;
}

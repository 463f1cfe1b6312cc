// The protected book's file as it comes from disk: the header reader and the
// decryption refuse what they cannot read with one of their faults, and what
// they accept splits into its two parts or is refused in turn.
#include "book/protected_file.h"
#include "fuzz_check.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray file = FuzzBytes(data, size);
    try {
        // The seeds are sealed with the password "fuzz" at the least cost;
        // a header that asks more would only make the run slow.
        const TProtectedHeader header = ReadProtectedHeader(file.left(ProtectedHeaderSize()), "f");
        FUZZ_CHECK(header.kdf.memory <= kMaxKdfMemory && header.kdf.ops <= kMaxKdfOps);
        if (header.kdf.memory > (quint64(1) << 20) || header.kdf.ops > 4)
            return 0;
        QBuffer in(&file);
        in.open(QIODevice::ReadOnly);
        const TProtectedContents read = ReadProtectedFile(in, "f", QByteArray("fuzz"));
        FUZZ_CHECK(read.payload && read.key);
        QByteArray categories, items;
        SplitPayload(*read.payload, "f", &categories, &items);
        FUZZ_CHECK(8 + categories.size() + items.size() == read.payload->Size());
    } catch (const EProtectedFileError &) {
    }
    return 0;
}

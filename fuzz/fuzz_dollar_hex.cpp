// The dollar-hex decoder of news bodies: never longer than its input, and
// the bytes without a dollar sign pass as they are.
#include "fuzz_check.h"
#include "util/text_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text = FuzzBytes(data, size);
    const QByteArray decoded = DecodeDollarHex(text);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (!text.contains('$'))
        FUZZ_CHECK(decoded == text);
    return 0;
}

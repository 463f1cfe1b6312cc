// The tag reader of the settings text. The first input byte picks the tag
// name's length, the next bytes are the name, the rest is the text searched;
// every search consumes text, so the loop must end.
#include "fuzz_check.h"
#include "settings/tag_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t nameLength = std::min<std::size_t>(data[0] % 16, size - 1);
    const QByteArray name = FuzzBytes(data + 1, nameLength);
    QByteArray remaining = FuzzBytes(data + 1 + nameLength, size - 1 - nameLength);
    const QByteArray open = OpenTag(name);
    const QByteArray close = CloseTag(name);
    for (;;) {
        const qsizetype before = remaining.size();
        TTagFound found = TTagFound::Missing;
        const QByteArray value = ExtractTagValue(open, close, remaining, &found);
        if (found == TTagFound::Missing) {
            FUZZ_CHECK(remaining.size() == before && value.isEmpty());
            break;
        }
        FUZZ_CHECK(remaining.size() < before);
        FUZZ_CHECK(found == TTagFound::Found || value.isEmpty());
    }
    const qsizetype at = IndexOfIgnoringAsciiCase(remaining, name);
    FUZZ_CHECK(at >= -1 && at <= remaining.size());
    return 0;
}

// The check a skin file must pass before it is applied as a style sheet.
#include "fuzz_check.h"
#include "settings/publisher_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = FuzzBytes(data, size);
    const bool usable = IsUsableStyleSheet(bytes);
    if (usable)
        FUZZ_CHECK(!bytes.contains('\0') && bytes.contains('{') && bytes.contains('}'));
    return 0;
}

// The check a skin file must pass before it is applied as a style sheet, and
// what of it the window takes.
#include "fuzz_check.h"
#include "settings/publisher_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = FuzzBytes(data, size);
    const bool usable = IsUsableStyleSheet(bytes);
    if (usable)
        FUZZ_CHECK(!bytes.contains('\0') && bytes.contains('{') && bytes.contains('}'));
    // What the window takes of it: nothing of an unusable file, nothing that
    // sets properties or loads files, and the same when read again.
    const QString safe = SafeSkinStyleSheet(bytes);
    FUZZ_CHECK(usable || safe.isEmpty());
    QString compact = safe.toLower();
    compact.remove(u' ');
    FUZZ_CHECK(!compact.contains(QLatin1String("url(")) && !compact.contains(QLatin1String("{qproperty")) &&
               !compact.contains(QLatin1String(";qproperty")));
    FUZZ_CHECK(SafeSkinStyleSheet(safe.toUtf8()) == safe);
    return 0;
}

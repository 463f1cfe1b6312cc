// The updater's journal as the next start reads it: whatever it accepts
// names only files a release may carry, and writes back to the same bytes.
#include "fuzz_check.h"
#include "updater/update_journal.h"
#include "updater/user_files.h"

using namespace UpdateJournal;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = FuzzBytes(data, size);
    QString error;
    const std::optional<TJournal> journal = Parse(bytes, error);
    if (!journal) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    for (const TEntry &entry : journal->entries)
        FUZZ_CHECK(UpdateManifest::IsReleaseFile(entry.name));
    FUZZ_CHECK(Format(*journal) == bytes);
    return 0;
}

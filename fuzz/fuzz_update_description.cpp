// mainappupdate.inf as the update check reads it, and the version it offers
// converted with either decimal separator.
#include "fuzz_check.h"
#include "services/update_check.h"

#include <cmath>

using namespace UpdateCheck;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray ini = FuzzBytes(data, size);
    const TUpdateDescription description = ParseDescription(ini);
    FUZZ_CHECK(description.version.size() <= ini.size() && description.name.size() <= ini.size());
    for (QChar separator : {QChar('.'), QChar(',')}) {
        const std::optional<double> version = ParseVersion(description.version, separator);
        if (version)
            FUZZ_CHECK(std::isfinite(*version));
        const float offered = OfferedVersion(description.version, separator);
        FUZZ_CHECK(std::isfinite(offered));
        IsNewer(offered, OwnVersion(separator));
        // The whole input as a version text too: most inputs are no INI.
        ParseVersion(ini, separator);
    }
    return 0;
}

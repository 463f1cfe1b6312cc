// The one-time key line of an item's description, which CSV imports bring
// from outside: a key it reads always gives a code of its length, and a key
// line it cannot read always says why.
#include "book/one_time_code.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray description = FuzzBytes(data, size);
    const TOneTimeKeyLine line = FindOneTimeKey(description);
    FUZZ_CHECK(line.found || (!line.key && line.problem.isEmpty()));
    FUZZ_CHECK(!line.found || line.key.has_value() == line.problem.isEmpty());
    if (!line.key)
        return 0;
    const TOneTimeKey &key = *line.key;
    FUZZ_CHECK(!key.secret.isEmpty() && key.digits >= 6 && key.digits <= 8 && key.period > 0);
    for (const qint64 time : {qint64(0), qint64(59), qint64(size) * 1000003, qint64(20000000000)}) {
        const QByteArray code = OneTimeCode(key, time);
        FUZZ_CHECK(code.size() == key.digits);
        for (const char c : code)
            FUZZ_CHECK(c >= '0' && c <= '9');
        const qint64 left = OneTimeCodeSecondsLeft(key, time);
        FUZZ_CHECK(left >= 1 && left <= key.period);
    }
    return 0;
}

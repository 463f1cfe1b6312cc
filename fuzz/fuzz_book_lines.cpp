// items.dat and categories.dat as lines: any bytes split, and the lines
// written back split into the same lines; the delimiters of each line are
// counted in the same pass.
#include "fuzz_check.h"
#include "util/string_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text = FuzzBytes(data, size);
    const TStringList lines = SplitLines(text);
    qsizetype total = 0;
    for (const QByteArray &line : lines) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains('\0'));
        total += line.size();
    }
    FUZZ_CHECK(total <= text.size());
    FUZZ_CHECK(SplitLines(JoinLines(lines)) == lines);
    // The pass that also counts the field delimiter finds the same lines and
    // counts each one's own.
    qsizetype at = 0;
    ForEachLineCounting(text, '\xA5', [&](qsizetype start, qsizetype length, qsizetype count) {
        FUZZ_CHECK(at < lines.size() && text.mid(start, length) == lines[at]);
        FUZZ_CHECK(count == lines[at].count('\xA5'));
        ++at;
    });
    FUZZ_CHECK(at == lines.size());
    return 0;
}

#include "string_list.h"

#include "atomic_writer.h"
#include "errors.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

TStringList SplitLines(const QByteArray &text)
{
    TStringList lines;
    ForEachLine(text, [&](qsizetype start, qsizetype length) { lines.append(text.mid(start, length)); });
    return lines;
}

QByteArray JoinLines(const TStringList &lines)
{
    qsizetype total = 0;
    for (const QByteArray &l : lines)
        total += l.size() + 2;
    QByteArray out;
    out.reserve(total);
    for (const QByteArray &l : lines) {
        out.append(l);
        out.append("\r\n", 2);
    }
    return out;
}

const char *FindLineBreak(const char *from, const char *end)
{
    const char *p = from;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                         _mm_cmpeq_epi8(v, nul));
        if (const int mask = _mm_movemask_epi8(hit))
            return p + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == '\r' || *p == '\n' || *p == '\0')
            return p;
    return end;
}

const char *FindLineBreakCounting(const char *from, const char *end, char counted, qsizetype *count)
{
    const char *p = from;
    qsizetype n = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    const __m128i wanted = _mm_set1_epi8(counted);
    // Each of the 16 columns counts its own hits in a byte, summed into n
    // before any of them could pass 255.
    __m128i columns = _mm_setzero_si128();
    int rounds = 0;
    const auto fold = [&] {
        const __m128i sums = _mm_sad_epu8(columns, nul);
        n += _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
        columns = _mm_setzero_si128();
        rounds = 0;
    };
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                         _mm_cmpeq_epi8(v, nul));
        const __m128i mine = _mm_cmpeq_epi8(v, wanted);
        if (const int mask = _mm_movemask_epi8(hit)) {
            const int at = __builtin_ctz(unsigned(mask));
            fold();
            for (unsigned before = unsigned(_mm_movemask_epi8(mine)) & ((1u << at) - 1); before; before &= before - 1)
                ++n;
            *count = n;
            return p + at;
        }
        columns = _mm_sub_epi8(columns, mine); // a hit is -1
        if (++rounds == 255)
            fold();
    }
    fold();
#endif
    for (; p < end; ++p) {
        if (*p == '\r' || *p == '\n' || *p == '\0')
            break;
        n += *p == counted;
    }
    *count = n;
    return p;
}

void AdviseLargePages(const void *data, qsizetype size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Faulting a book of hundreds of megabytes in page by page costs more
    // than reading it; large pages cut the faults 512-fold. Only whole large
    // pages inside the block are advised, so nothing around it is touched.
    constexpr quintptr kLarge = quintptr(2) << 20;
    const auto begin = (quintptr(data) + kLarge - 1) & ~(kLarge - 1);
    const auto stop = (quintptr(data) + quintptr(size)) & ~(kLarge - 1);
    if (stop > begin)
        madvise(reinterpret_cast<void *>(begin), stop - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

QByteArray LoadFileBytes(const QString &path)
{
    QFile f(path);
    if (QFileInfo(path).isDir() || !f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path),
                                  QFileInfo(path).isDir() ? QStringLiteral("It is a folder.")
                                                          : f.errorString()));
    const auto fail = [&] {
        throw EFileError(QStringLiteral("Cannot read file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), f.errorString()));
    };
    // One buffer of the file's size, filled in place; a file that another
    // program grows or shrinks meanwhile is read as far as it goes.
    const qint64 expected = f.size();
    if (expected < 0 || expected >= qint64(std::numeric_limits<qsizetype>::max() / 2))
        fail();
    QByteArray bytes(qsizetype(expected), Qt::Uninitialized);
    if (expected >= kLargePageThreshold)
        AdviseLargePages(bytes.constData(), bytes.size());
    qsizetype got = 0;
    while (got < bytes.size()) {
        const qint64 n = f.read(bytes.data() + got, bytes.size() - got);
        if (n < 0)
            fail();
        if (n == 0)
            break;
        got += qsizetype(n);
    }
    bytes.resize(got);
    if (got == expected) {
        const QByteArray more = f.readAll();
        if (f.error() != QFileDevice::NoError)
            fail();
        bytes.append(more);
    }
    return bytes;
}

TStringList LoadStringList(const QString &path)
{
    return SplitLines(LoadFileBytes(path));
}

void SaveBytesAtomic(const QString &path, const QByteArray &bytes)
{
    TAtomicWriter out(path);
    out.Write(bytes);
    out.Commit();
}

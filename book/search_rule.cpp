#include "search_rule.h"

#include "util/codepage.h"

#include <array>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Separates fields in folded text. A search text never holds it: control
// characters are dropped from the needle.
constexpr char kFieldBreak = '\x01';

struct TFoldTable
{
    // Each byte folds to one or two bytes; second == 0 means one.
    std::array<std::array<char, 2>, 256> to{};

    constexpr TFoldTable()
    {
        for (int b = 0; b < 256; ++b)
            to[b] = {static_cast<char>(b), 0};
        for (int b = 'A'; b <= 'Z'; ++b)
            to[b][0] = static_cast<char>(b + 32);
        Set("\x8A\x9A", "s");
        Set("\x8E\x9E", "z");
        Set("\x9F\xDD\xFD\xFF", "y");
        Set("\x83", "f");
        Set("\x8C\x9C", "oe");
        Set("\xC6\xE6", "ae");
        Set("\xDF", "ss");
        Set("\xDE\xFE", "th");
        Set("\xC0\xC1\xC2\xC3\xC4\xC5\xE0\xE1\xE2\xE3\xE4\xE5\xAA", "a");
        Set("\xC7\xE7", "c");
        Set("\xC8\xC9\xCA\xCB\xE8\xE9\xEA\xEB", "e");
        Set("\xCC\xCD\xCE\xCF\xEC\xED\xEE\xEF", "i");
        Set("\xD0\xF0", "d");
        Set("\xD1\xF1", "n");
        Set("\xD2\xD3\xD4\xD5\xD6\xD8\xF2\xF3\xF4\xF5\xF6\xF8\xBA", "o");
        Set("\xD9\xDA\xDB\xDC\xF9\xFA\xFB\xFC", "u");
        Set("\x91\x92\x82\xB4", "'");
        Set("\x93\x94\x84", "\"");
        Set("\x96\x97", "-");
        Set("\xA0", " ");
    }

    constexpr void Set(const char *from, const char *folded)
    {
        for (; *from; ++from) {
            auto &t = to[static_cast<unsigned char>(*from)];
            t[0] = folded[0];
            t[1] = folded[1] ? folded[1] : 0;
        }
    }
};

constexpr TFoldTable kFold;

// Writes the folded bytes at `out` and returns the new end. The buffer must
// hold two bytes per input byte plus one: the second byte of a fold is
// always written and kept only when there is one, which saves a branch.
inline char *FoldInto(char *out, const char *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        const auto &f = kFold.to[static_cast<unsigned char>(p[i])];
        out[0] = f[0];
        out[1] = f[1];
        out += 1 + (f[1] != 0);
    }
    return out;
}

// Room for folding `bytes` input bytes and a field break after each field.
inline char *Room(std::string &buffer, qsizetype bytes)
{
    const size_t need = 2 * size_t(bytes) + 2 * kItemFieldCount + 16;
    if (buffer.size() < need)
        buffer.resize(need);
    return buffer.data();
}

// Folds the searchable parts of an items.dat line into `buffer`; returns
// the length.
size_t FoldRecord(const QByteArray &record, std::string &buffer)
{
    char *const begin = Room(buffer, record.size());
    char *out = begin;
    const char *p = record.constData();
    const qsizetype n = record.size();
    int field = 0;
    qsizetype i = 0;
    // Fields 0 to 10: plain, 0xA5 ends each.
    while (i < n && field < kItemFieldCount) {
        const char *end = static_cast<const char *>(std::memchr(p + i, kFieldDelimiter, size_t(n - i)));
        const qsizetype stop = end ? end - p : n;
        if (field != 6) {
            out = FoldInto(out, p + i, stop - i);
            *out++ = kFieldBreak;
        }
        i = stop + 1;
        ++field;
    }
    // The escaped description: 0xA5 pairs and 0xA7 pairs are line breaks, a
    // closing 0xA5 ends it.
    while (i < n) {
        const char c = p[i];
        if (c == kFieldDelimiter) {
            *out++ = kFieldBreak;
            ++i;
        } else if (c == '\xA7' && i + 1 < n && p[i + 1] == '\xA7') {
            *out++ = kFieldBreak;
            i += 2;
        } else {
            out = FoldInto(out, p + i, 1);
            ++i;
        }
    }
    return size_t(out - begin);
}

size_t FoldItem(const TItemRecord &item, std::string &buffer)
{
    qsizetype total = item.description.size();
    for (const QByteArray &f : item.fields)
        total += f.size();
    char *const begin = Room(buffer, total);
    char *out = begin;
    for (int f = 0; f < kItemFieldCount; ++f) {
        if (f == 6)
            continue;
        out = FoldInto(out, item.fields[f].constData(), item.fields[f].size());
        *out++ = kFieldBreak;
    }
    const QByteArray &d = item.description;
    for (qsizetype i = 0; i < d.size(); ++i) {
        const char c = d[i];
        if (c == '\r' || c == '\n')
            *out++ = kFieldBreak;
        else
            out = FoldInto(out, d.constData() + i, 1);
    }
    return size_t(out - begin);
}

} // namespace

QByteArray FoldAnsi(const QByteArray &text)
{
    QByteArray out(2 * text.size() + 1, Qt::Uninitialized);
    out.truncate(FoldInto(out.data(), text.constData(), text.size()) - out.constData());
    return out;
}

QByteArray FoldUtf8(const QByteArray &text)
{
    const QString decomposed = QString::fromUtf8(text).normalized(QString::NormalizationForm_KD);
    QString bare;
    bare.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_Enclosing)
            bare += c;
    return bare.toCaseFolded().toUtf8();
}

QByteArray FoldedSearchText(const TItemRecord &item, TBookText text)
{
    if (text == TBookText::Utf8) {
        QByteArray out;
        for (int f = 0; f < kItemFieldCount; ++f) {
            if (f == 6)
                continue;
            out += FoldUtf8(item.fields[f]);
            out += kFieldBreak;
        }
        QByteArray description = item.description;
        description.replace('\r', kFieldBreak).replace('\n', kFieldBreak);
        for (const QByteArray &line : description.split(kFieldBreak))
            out += FoldUtf8(line) + kFieldBreak;
        return out;
    }
    std::string buffer;
    return QByteArray(buffer.data(), qsizetype(FoldItem(item, buffer)));
}

TSearchRule::TSearchRule(const QString &text)
{
    const QString trimmed = text.trimmed();
    bool lossless = true;
    QByteArray ansi = ToAnsi(trimmed, &lossless);
    if (!lossless) {
        // A letter the book cannot hold may still match without its accent
        // (ő -> o); what remains unencodable matches nothing.
        QString bare;
        for (QChar c : trimmed.normalized(QString::NormalizationForm_KD))
            if (c.category() != QChar::Mark_NonSpacing)
                bare += c;
        ansi = ToAnsi(bare, &lossless);
    }
    Init(ansi, !lossless);
}

TSearchRule::TSearchRule(const QString &text, TBookText bookText) : m_text(bookText)
{
    if (bookText == TBookText::Ansi) {
        *this = TSearchRule(text);
        return;
    }
    QString kept;
    for (QChar c : text.trimmed())
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F)
            kept += c;
    InitFolded(FoldUtf8(kept.toUtf8()), false);
}

TSearchRule::TSearchRule(const QByteArray &ansiText)
{
    Init(ansiText.trimmed(), false);
}

void TSearchRule::Init(const QByteArray &ansiText, bool impossible)
{
    QByteArray kept;
    for (char c : ansiText)
        if (static_cast<unsigned char>(c) >= 0x20 && c != '\x7F')
            kept += c;
    InitFolded(FoldAnsi(kept), impossible);
}

void TSearchRule::InitFolded(const QByteArray &needle, bool impossible)
{
    m_needle = needle;
    m_empty = m_needle.isEmpty() && !impossible;
    m_impossible = impossible;
    // How common each byte is in the book's folded text, roughly: letters by
    // their frequency in English, then address punctuation and digits.
    static const QByteArray kCommonLast = "zqjxkvbpygfwmucldrhsnioate";
    static const QByteArray kOther = "0123456789-_@:./ ";
    auto rank = [](char c) {
        if (const qsizetype i = kCommonLast.indexOf(c); i >= 0)
            return int(i) + 10;
        if (kOther.contains(c))
            return 20;
        return 0;
    };
    m_rareAt = 0;
    for (qsizetype i = 1; i < m_needle.size(); ++i)
        if (rank(m_needle[i]) < rank(m_needle[qsizetype(m_rareAt)]))
            m_rareAt = size_t(i);
    m_rare2At = m_rareAt == 0 && m_needle.size() > 1 ? size_t(m_needle.size() - 1) : 0;
    for (qsizetype i = 0; i < m_needle.size(); ++i)
        if (size_t(i) != m_rareAt && rank(m_needle[i]) < rank(m_needle[qsizetype(m_rare2At)]))
            m_rare2At = size_t(i);
    if (m_needle.size() < 2)
        m_rare2At = 0;
}

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace {

// Thirty-two starting places at a time, on processors that have AVX2; `*i`
// is left at the first place not yet tested.
__attribute__((target("avx2"))) qsizetype ScanWide(const char *data, size_t starts, const char *needle, size_t m,
                                                   size_t a, size_t b, size_t c, size_t *i)
{
    const __m256i va = _mm256_set1_epi8(needle[a]);
    const __m256i vb = _mm256_set1_epi8(needle[b]);
    const __m256i vc = _mm256_set1_epi8(needle[c]);
    size_t k = *i;
    for (; k + 32 <= starts; k += 32) {
        const __m256i ba = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + k + a));
        const __m256i bb = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + k + b));
        const __m256i bc = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + k + c));
        const __m256i hit = _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(ba, va), _mm256_cmpeq_epi8(bb, vb)),
                                             _mm256_cmpeq_epi8(bc, vc));
        unsigned mask = unsigned(_mm256_movemask_epi8(hit));
        while (mask) {
            const size_t at = k + unsigned(__builtin_ctz(mask));
            if (std::memcmp(data + at, needle, m) == 0) {
                *i = k;
                return qsizetype(at);
            }
            mask &= mask - 1;
        }
    }
    *i = k;
    return -1;
}

} // namespace
#endif

qsizetype TSearchRule::Position(const char *data, size_t size) const
{
    if (m_impossible)
        return -1;
    if (m_empty)
        return 0;
    const size_t m = size_t(m_needle.size());
    if (size < m)
        return -1;
    const char *needle = m_needle.constData();
    if (m == 1) {
        const void *at = std::memchr(data, needle[0], size);
        return at ? static_cast<const char *>(at) - data : -1;
    }
    // Sixteen starting places at a time are tested on the search text's two
    // rarest bytes; only where both agree is the whole text compared.
    const size_t a = m_rareAt;
    const size_t b = m_rare2At;
    const size_t starts = size - m + 1;
    size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool kWide = __builtin_cpu_supports("avx2");
    if (kWide && starts >= 32) {
        // A third byte where the text has one more keeps common letters
        // ("tte") from sending most places on to the full compare.
        const size_t c = a != 0 && b != 0 ? 0 : a != m - 1 && b != m - 1 ? m - 1 : a;
        if (const qsizetype at = ScanWide(data, starts, needle, m, a, b, c, &i); at >= 0)
            return at;
    }
#endif
#ifdef __SSE2__
    const __m128i va = _mm_set1_epi8(needle[a]);
    const __m128i vb = _mm_set1_epi8(needle[b]);
    for (; i + 16 <= starts; i += 16) {
        const __m128i ba = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + a));
        const __m128i bb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + b));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(ba, va), _mm_cmpeq_epi8(bb, vb))));
        while (mask) {
            const size_t at = i + unsigned(__builtin_ctz(mask));
            if (std::memcmp(data + at, needle, m) == 0)
                return qsizetype(at);
            mask &= mask - 1;
        }
    }
#endif
    for (; i < starts; ++i)
        if (data[i + a] == needle[a] && data[i + b] == needle[b] && std::memcmp(data + i, needle, m) == 0)
            return qsizetype(i);
    return -1;
}

bool TSearchRule::MatchesCategory(const QByteArray &name) const
{
    if (m_empty || m_impossible)
        return m_empty;
    if (m_text == TBookText::Utf8)
        return MatchesFolded(FoldUtf8(name));
    char *begin = Room(m_scratch, name.size());
    return Find(begin, size_t(FoldInto(begin, name.constData(), name.size()) - begin));
}

bool TSearchRule::MatchesItem(const TItemRecord &item) const
{
    if (m_empty || m_impossible)
        return m_empty;
    if (m_text == TBookText::Utf8)
        return MatchesFolded(FoldedSearchText(item, m_text));
    const size_t size = FoldItem(item, m_scratch);
    return Find(m_scratch.data(), size);
}

bool TSearchRule::MatchesRecord(const QByteArray &record) const
{
    if (m_empty || m_impossible)
        return m_empty;
    if (m_text == TBookText::Utf8)
        return MatchesItem(ReadItemRecord(record, m_text));
    const size_t size = FoldRecord(record, m_scratch);
    return Find(m_scratch.data(), size);
}

bool TSearchRule::MatchesFolded(const QByteArray &foldedText) const
{
    return Find(foldedText.constData(), size_t(foldedText.size()));
}

bool TSearchRule::MatchesFolded(const char *foldedText, qsizetype size) const
{
    return Find(foldedText, size > 0 ? size_t(size) : 0);
}

qsizetype TSearchRule::IndexInFolded(const char *foldedText, qsizetype size) const
{
    return Position(foldedText, size > 0 ? size_t(size) : 0);
}

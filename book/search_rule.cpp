#include "search_rule.h"

#include "util/codepage.h"

#include <array>
#include <cstring>
#include <string_view>

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

inline void AppendFolded(std::string &out, const char *p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        const auto &f = kFold.to[static_cast<unsigned char>(p[i])];
        out.push_back(f[0]);
        if (f[1])
            out.push_back(f[1]);
    }
}

// Writes the searchable parts of an items.dat line to `out`, folded.
void FoldRecord(const QByteArray &record, std::string &out)
{
    const char *p = record.constData();
    const qsizetype n = record.size();
    int field = 0;
    qsizetype i = 0;
    // Fields 0 to 10: plain, 0xA5 ends each.
    while (i < n && field < kItemFieldCount) {
        const char *end = static_cast<const char *>(std::memchr(p + i, kFieldDelimiter, size_t(n - i)));
        const qsizetype stop = end ? end - p : n;
        if (field != 6) {
            AppendFolded(out, p + i, stop - i);
            out.push_back(kFieldBreak);
        }
        i = stop + 1;
        ++field;
    }
    // The escaped description: 0xA5 pairs and 0xA7 pairs are line breaks, a
    // closing 0xA5 ends it.
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == kFieldDelimiter) {
            out.push_back(kFieldBreak);
        } else if (c == '\xA7' && i + 1 < n && p[i + 1] == '\xA7') {
            out.push_back(kFieldBreak);
            ++i;
        } else {
            const auto &f = kFold.to[static_cast<unsigned char>(c)];
            out.push_back(f[0]);
            if (f[1])
                out.push_back(f[1]);
        }
    }
}

void FoldItem(const TItemRecord &item, std::string &out)
{
    for (int f = 0; f < kItemFieldCount; ++f) {
        if (f == 6)
            continue;
        AppendFolded(out, item.fields[f].constData(), item.fields[f].size());
        out.push_back(kFieldBreak);
    }
    const QByteArray &d = item.description;
    for (qsizetype i = 0; i < d.size(); ++i) {
        const char c = d[i];
        if (c == '\r' || c == '\n')
            out.push_back(kFieldBreak);
        else
            AppendFolded(out, &d.constData()[i], 1);
    }
}

} // namespace

QByteArray FoldAnsi(const QByteArray &text)
{
    std::string out;
    out.reserve(size_t(text.size()) + 8);
    AppendFolded(out, text.constData(), text.size());
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray FoldedSearchText(const TItemRecord &item)
{
    std::string out;
    FoldItem(item, out);
    return QByteArray(out.data(), qsizetype(out.size()));
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
    m_needle = FoldAnsi(kept);
    m_empty = m_needle.isEmpty() && !impossible;
    m_impossible = impossible;
}

bool TSearchRule::Find(const char *data, size_t size) const
{
    if (m_impossible)
        return false;
    if (m_empty)
        return true;
    return std::string_view(data, size).find(std::string_view(m_needle.constData(), size_t(m_needle.size())))
        != std::string_view::npos;
}

bool TSearchRule::MatchesCategory(const QByteArray &name) const
{
    if (m_empty || m_impossible)
        return m_empty;
    m_scratch.clear();
    AppendFolded(m_scratch, name.constData(), name.size());
    return Find(m_scratch.data(), m_scratch.size());
}

bool TSearchRule::MatchesItem(const TItemRecord &item) const
{
    if (m_empty || m_impossible)
        return m_empty;
    m_scratch.clear();
    FoldItem(item, m_scratch);
    return Find(m_scratch.data(), m_scratch.size());
}

bool TSearchRule::MatchesRecord(const QByteArray &record) const
{
    if (m_empty || m_impossible)
        return m_empty;
    m_scratch.clear();
    FoldRecord(record, m_scratch);
    return Find(m_scratch.data(), m_scratch.size());
}

bool TSearchRule::MatchesFolded(const QByteArray &foldedText) const
{
    return Find(foldedText.constData(), size_t(foldedText.size()));
}

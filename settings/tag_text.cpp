#include "tag_text.h"

namespace {

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

QByteArray OpenTag(const QByteArray &name)
{
    return "<%%" + name + "%%>";
}

QByteArray CloseTag(const QByteArray &name)
{
    return "<%%/" + name + "%%>";
}

qsizetype IndexOfIgnoringAsciiCase(const QByteArray &haystack, const QByteArray &needle, qsizetype from)
{
    const qsizetype n = needle.size();
    const qsizetype last = haystack.size() - n;
    if (from < 0)
        from = 0;
    for (qsizetype i = from; i <= last; ++i) {
        qsizetype k = 0;
        while (k < n && Upper(haystack[i + k]) == Upper(needle[k]))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

QByteArray ExtractTagValue(const QByteArray &openTag, const QByteArray &closeTag, QByteArray &remaining,
                           TTagFound *found)
{
    const qsizetype open = IndexOfIgnoringAsciiCase(remaining, openTag);
    if (open < 0) {
        if (found)
            *found = TTagFound::Missing;
        return {};
    }
    remaining.remove(0, open + openTag.size());
    const qsizetype close = IndexOfIgnoringAsciiCase(remaining, closeTag);
    if (close < 0) {
        if (found)
            *found = TTagFound::Unclosed;
        return {};
    }
    QByteArray value = remaining.left(close);
    remaining.remove(0, close);
    if (found)
        *found = TTagFound::Found;
    return value;
}

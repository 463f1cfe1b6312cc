#include "input_rules.h"

#include "util/codepage.h"
#include "util/text_utils.h"

namespace {

QString UnencodableRefusal(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsAnsiEncodable(text[i]))
            continue;
        // A character beyond the first plane (an emoji) is two UTF-16 units;
        // quoting one of them alone would show a replacement sign.
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        return QStringLiteral("The character \"%1\" cannot be stored in the account book.")
            .arg(text.mid(i, length));
    }
    return {};
}

bool IsLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar(0x2029) || c == QChar(0x2028);
}

} // namespace

QString RefusalForLine(const QString &text)
{
    for (QChar c : text) {
        if (c == QChar(0x00A5))
            return QStringLiteral("The character \"\u00A5\" separates the fields in the account book "
                                  "and cannot be part of a field or a name.");
        if (IsLineBreak(c))
            return QStringLiteral("A field or a name holds a single line.");
        if (c == QChar(0))
            return QStringLiteral("A field or a name cannot hold a NUL character.");
    }
    return UnencodableRefusal(text);
}

QString RefusalForDescription(const QString &text)
{
    if (text.contains(QChar(0)))
        return QStringLiteral("The description cannot hold a NUL character.");
    if (QString reason = UnencodableRefusal(text); !reason.isEmpty())
        return reason;
    QString crlf = text;
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    const QByteArray bytes = ToAnsi(crlf);
    if (UnescapeLineBreaks(EscapeLineBreaks(bytes)) != bytes)
        return QStringLiteral("The description cannot hold \"\u00A5\u00A5\" or \"\u00A7\u00A7\", "
                              "nor \"\u00A5\" or \"\u00A7\" next to a line break: they would come back "
                              "as line breaks.");
    return {};
}

QString RefusalForLine(const QString &text, TBookText book)
{
    if (book == TBookText::Ansi)
        return RefusalForLine(text);
    for (QChar c : text) {
        if (IsLineBreak(c))
            return QStringLiteral("A field or a name holds a single line.");
        if (c == QChar(0))
            return QStringLiteral("A field or a name cannot hold a NUL character.");
    }
    return {};
}

QString RefusalForDescription(const QString &text, TBookText book)
{
    if (book == TBookText::Ansi)
        return RefusalForDescription(text);
    if (text.contains(QChar(0)))
        return QStringLiteral("The description cannot hold a NUL character.");
    return {};
}

bool DropLineBreaksBefore(QString &text, int &pos)
{
    int start = qBound(0, pos, int(text.size()));
    const int end = start;
    while (start > 0 && IsLineBreak(text[start - 1]))
        --start;
    if (start == end)
        return false;
    text.remove(start, end - start);
    pos = start;
    return true;
}

#include "input_rules.h"

#include "util/codepage.h"
#include "util/text_utils.h"

namespace {

QString UnencodableRefusal(const QString &text)
{
    for (QChar c : text)
        if (!IsAnsiEncodable(c))
            return QStringLiteral("The character \"%1\" cannot be stored in the account book.").arg(c);
    return {};
}

} // namespace

QString RefusalForLine(const QString &text)
{
    for (QChar c : text) {
        if (c == QChar(0x00A5))
            return QStringLiteral("The character \"\u00A5\" separates the fields in the account book "
                                  "and cannot be part of a field or a name.");
        if (c == u'\r' || c == u'\n' || c == QChar(0x2029) || c == QChar(0x2028))
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

#include "item_titles.h"

#include <QRegularExpression>

namespace {

TTitleTaken InList(const QByteArrayList &titles)
{
    return [&titles](const QByteArray &t) { return titles.contains(t); };
}

// The title without a trailing " (copy)" or " (copy N)".
QByteArray CopyBase(const QByteArray &title)
{
    static const QRegularExpression kCopy(QStringLiteral(" \\(copy(?: [1-9][0-9]{0,8})?\\)$"));
    // Latin-1 keeps every byte as one character, so positions carry over.
    const QRegularExpressionMatch m = kCopy.match(QString::fromLatin1(title));
    return m.hasMatch() ? title.left(m.capturedStart()) : title;
}

} // namespace

QByteArray DuplicateTitle(const QByteArray &title, const TTitleTaken &taken)
{
    const QByteArray base = CopyBase(title);
    QByteArray candidate = base + " (copy)";
    for (qint64 n = 2; taken(candidate); ++n)
        candidate = base + " (copy " + QByteArray::number(n) + ')';
    return candidate;
}

QByteArray DuplicateTitle(const QByteArray &title, const QByteArrayList &titlesInCategory)
{
    return DuplicateTitle(title, InList(titlesInCategory));
}

QByteArray ImportTitle(const QByteArray &title, const TTitleTaken &taken)
{
    QByteArray candidate = title;
    for (qint64 n = 2; taken(candidate); ++n)
        candidate = title + " (" + QByteArray::number(n) + ')';
    return candidate;
}

QByteArray ImportTitle(const QByteArray &title, const QByteArrayList &titlesInCategory)
{
    return ImportTitle(title, InList(titlesInCategory));
}

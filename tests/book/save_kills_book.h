#pragma once

// The book the kill test saves, shared by the test and its child program:
// two versions of both files, as written, of most of a megabyte in all. They
// differ in size and in every record, so a cut or a mix of the two shows.
#include <QByteArray>

inline QByteArray CategoriesBytes(int version)
{
    QByteArray out;
    for (int c = 0; c < 200; ++c)
        out.append("Category ").append(QByteArray::number(c)).append(version ? " renamed\r\n" : "\r\n");
    return out;
}

inline QByteArray ItemsBytes(int version)
{
    QByteArray out;
    out.reserve(700000);
    const QByteArray filler(version ? 60 : 35, version ? 'b' : 'a');
    for (int i = 0; i < 6000; ++i)
        out.append("Category ")
            .append(QByteArray::number(i % 200))
            .append("\xA5Item ")
            .append(QByteArray::number(i))
            .append('\xA5')
            .append(filler)
            .append("\xA5http://example.test/\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\xA5\r\n");
    return out;
}

// The protected book of the same test: both files' versions as one payload,
// under a key both sides derive alike.
#include "book/protected_file.h"

inline QByteArray ProtectedPayload(int version)
{
    const QByteArray categories = CategoriesBytes(version);
    return PayloadPrefix(categories.size()) + categories + ItemsBytes(version);
}
inline QByteArray SaveKillsPassword()
{
    return QByteArrayLiteral("kill me");
}
inline TKdfParameters SaveKillsKdf()
{
    return {2, 8192 * 4};
}
inline QByteArray SaveKillsSalt()
{
    return QByteArray(16, '\x42');
}

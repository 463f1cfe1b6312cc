#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>

#include <cstdio>

// Output of the command-line tools: text in the terminal's encoding, errors
// on stderr after the tool's name, paths as the system writes them.
inline void Print(std::FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
}

inline void FailAs(const char *tool, const QString &text)
{
    Print(stderr, QStringLiteral("%1: %2\n").arg(QLatin1String(tool), text));
}

inline QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

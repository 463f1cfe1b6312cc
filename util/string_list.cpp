#include "string_list.h"

#include "errors.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

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

QByteArray LoadFileBytes(const QString &path)
{
    QFile f(path);
    if (QFileInfo(path).isDir() || !f.open(QIODevice::ReadOnly))
        throw EFileError(QStringLiteral("Cannot open file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path),
                                  QFileInfo(path).isDir() ? QStringLiteral("It is a folder.")
                                                          : f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw EFileError(QStringLiteral("Cannot read file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), f.errorString()));
    return bytes;
}

TStringList LoadStringList(const QString &path)
{
    return SplitLines(LoadFileBytes(path));
}

void SaveBytesAtomic(const QString &path, const QByteArray &bytes)
{
    const bool isNew = !QFileInfo::exists(path);
    QSaveFile f(path);
    const auto fail = [&](const QString &what) {
        f.cancelWriting();
        throw EFileError(QStringLiteral("%1 \"%2\". %3")
                             .arg(what, QDir::toNativeSeparators(path), f.errorString()));
    };
    if (!f.open(QIODevice::WriteOnly))
        fail(QStringLiteral("Cannot create file"));
    // A new file is owner-only before its first byte; an existing one keeps
    // the mode its owner gave it, which QSaveFile carries over.
    if (isNew && !f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        fail(QStringLiteral("Cannot create file"));
    if (f.write(bytes) != bytes.size())
        fail(QStringLiteral("Cannot write file"));
    if (!f.commit())
        throw EFileError(QStringLiteral("Cannot write file \"%1\". %2")
                             .arg(QDir::toNativeSeparators(path), f.errorString()));
}

void SaveStringList(const QString &path, const TStringList &lines)
{
    SaveBytesAtomic(path, JoinLines(lines));
}

#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <cstring>

// An ordered list of byte strings: insertion order, duplicates allowed.
using TStringList = QByteArrayList;

// Calls line(start, length) for every line of `text`, split at CR LF, a lone
// CR or a lone LF. A last line without a line end is a line; a NUL byte ends
// the text. Each byte is looked at by memchr at most once per line-end kind,
// so a large book is split at memory speed without copying a line.
template <class F>
void ForEachLine(const QByteArray &text, F &&line)
{
    const char *d = text.constData();
    const void *nul = std::memchr(d, 0, size_t(text.size()));
    const qsizetype end = nul ? static_cast<const char *>(nul) - d : text.size();
    const auto next = [&](char c, qsizetype from) {
        const void *at = std::memchr(d + from, c, size_t(end - from));
        return at ? static_cast<const char *>(at) - d : end;
    };
    qsizetype start = 0;
    qsizetype cr = -1;
    qsizetype lf = -1;
    while (start < end) {
        if (cr < start)
            cr = next('\r', start);
        if (lf < start)
            lf = next('\n', start);
        const qsizetype brk = cr < lf ? cr : lf;
        if (brk >= end)
            break;
        line(start, brk - start);
        start = (brk == cr && brk + 1 < end && d[brk + 1] == '\n') ? brk + 2 : brk + 1;
    }
    if (start < end)
        line(start, end - start);
}

// Splits a text into lines at CR LF, a lone CR or a lone LF. A last line
// without a line end is an entry; a NUL byte ends the text.
TStringList SplitLines(const QByteArray &text);

// Puts CR LF after every entry, the last one included.
QByteArray JoinLines(const TStringList &lines);

// Reads a whole file. Throws EFileError when the path exists but cannot be
// read (a folder, no permission, a read error).
QByteArray LoadFileBytes(const QString &path);

// Reads a file into lines. Throws EFileError when the path exists but cannot
// be read (a folder, no permission, a read error).
TStringList LoadStringList(const QString &path);

// Writes bytes to a file atomically: a temporary file in the same folder is
// renamed over the target only after everything was written, so a failure
// leaves the old file whole. A new file is owner-only from its first byte; an
// existing one keeps its mode. Throws EFileError on failure.
void SaveBytesAtomic(const QString &path, const QByteArray &bytes);

// SaveBytesAtomic of JoinLines(lines).
void SaveStringList(const QString &path, const TStringList &lines);

#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <cstring>

// An ordered list of byte strings: insertion order, duplicates allowed.
using TStringList = QByteArrayList;

// Asks the system to back a large block of memory with large pages; does
// nothing where that cannot be asked.
void AdviseLargePages(const void *data, qsizetype size);
// Blocks from this size on are worth the advice.
constexpr qsizetype kLargePageThreshold = qsizetype(8) << 20;

// The first CR, LF or NUL byte in [from, end), or end.
const char *FindLineBreak(const char *from, const char *end);

// Calls line(start, length) for every line of `text`, split at CR LF, a lone
// CR or a lone LF. A last line without a line end is a line; a NUL byte ends
// the text. Every byte is looked at once, many at a time, so a large book is
// split at memory speed without copying a line.
template <class F>
void ForEachLine(const QByteArray &text, F &&line)
{
    const char *d = text.constData();
    const char *end = d + text.size();
    const char *start = d;
    while (start < end) {
        const char *brk = FindLineBreak(start, end);
        if (brk == end || *brk == '\0') {
            if (start < brk)
                line(start - d, brk - start);
            return;
        }
        line(start - d, brk - start);
        start = (*brk == '\r' && brk + 1 < end && brk[1] == '\n') ? brk + 2 : brk + 1;
    }
}

// FindLineBreak that also counts the bytes equal to `counted` (neither CR,
// LF nor NUL) before the break, in the same pass: *count receives how many.
const char *FindLineBreakCounting(const char *from, const char *end, char counted, qsizetype *count);

// ForEachLineCounting over a text that becomes readable from its start on
// while it is split (a book decrypted chunk by chunk): ready(n) waits until
// at least the first n bytes may be read, or all of them, and returns how many
// may. No byte at or beyond what ready last returned is looked at, and a
// line is reported only once its end, or the text's, is readable.
template <class R, class F>
void ForEachReadyLineCounting(const QByteArray &text, char counted, R &&ready, F &&line)
{
    const char *d = text.constData();
    const char *end = d + text.size();
    const char *start = d;
    const char *from = d;
    const char *limit = d + ready(qsizetype(0));
    qsizetype count = 0;
    while (start < end) {
        qsizetype n = 0;
        const char *brk = FindLineBreakCounting(from, limit, counted, &n);
        count += n;
        if (brk == limit && limit < end) {
            // The line goes on past what is readable.
            from = limit;
            limit = d + ready(limit - d + 1);
            continue;
        }
        if (brk == end || *brk == '\0') {
            if (start < brk)
                line(start - d, brk - start, count);
            return;
        }
        // A CR at the edge may be the first half of a CR LF.
        if (*brk == '\r' && brk + 1 == limit && limit < end)
            limit = d + ready(limit - d + 1);
        line(start - d, brk - start, count);
        start = (*brk == '\r' && brk + 1 < end && brk[1] == '\n') ? brk + 2 : brk + 1;
        from = start;
        count = 0;
    }
}

// ForEachLine that also tells each line how many bytes equal to `counted` it
// holds: line(start, length, count). Still one look at every byte.
template <class F>
void ForEachLineCounting(const QByteArray &text, char counted, F &&line)
{
    const qsizetype size = text.size();
    ForEachReadyLineCounting(text, counted, [size](qsizetype) { return size; }, line);
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

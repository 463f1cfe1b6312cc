#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// An ordered list of byte strings: insertion order, duplicates allowed.
using TStringList = QByteArrayList;

// Splits a text into lines at CR LF, a lone CR or a lone LF. A last line
// without a line end is an entry; a NUL byte ends the text.
TStringList SplitLines(const QByteArray &text);

// Puts CR LF after every entry, the last one included.
QByteArray JoinLines(const TStringList &lines);

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

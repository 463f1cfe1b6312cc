#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The book, the settings and the news travel as bytes in the ANSI code page,
// which is Windows-1252 here. Conversion happens only where text meets a widget.
QString FromAnsi(const QByteArray &bytes);

// UTF-8 as it stands, a U+FEFF at the start included: QString::fromUtf8 takes
// one there for a byte-order mark and drops it, which would change a
// protected book's password or an imported field that starts with it.
QString FromUtf8(QByteArrayView bytes);

// Converts to Windows-1252. Characters the code page cannot hold become '?';
// *lossless (when given) tells whether that happened.
QByteArray ToAnsi(const QString &text, bool *lossless = nullptr);

// True when the character has a Windows-1252 byte.
bool IsAnsiEncodable(QChar c);

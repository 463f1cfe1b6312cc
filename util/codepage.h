#pragma once

#include <QByteArray>
#include <QString>

// The book, the settings and the news travel as bytes in the ANSI code page,
// which is Windows-1252 here. Conversion happens only where text meets a widget.
QString FromAnsi(const QByteArray &bytes);

// Converts to Windows-1252. Characters the code page cannot hold become '?';
// *lossless (when given) tells whether that happened.
QByteArray ToAnsi(const QString &text, bool *lossless = nullptr);

// True when the character has a Windows-1252 byte.
bool IsAnsiEncodable(QChar c);

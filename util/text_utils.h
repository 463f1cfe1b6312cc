#pragma once

#include "string_list.h"

#include <QByteArray>
#include <QStringList>

// Fills `fields` with the pieces of `text` between `delimiter` bytes. Every
// delimiter ends a field (empty ones too); bytes after the last delimiter make
// a field only when there are any.
void SplitByDelimiter(char delimiter, const QByteArray &text, TStringList &fields);

// Decodes "$hh" escapes. A "$" not followed by one or two hexadecimal digits
// makes the whole result empty.
QByteArray DecodeDollarHex(const QByteArray &text);

// CR becomes A5 A5, then LF becomes A7 A7, so a multi-line text fits on a line.
QByteArray EscapeLineBreaks(const QByteArray &text);
// A5 A5 becomes CR, then A7 A7 becomes LF (left to right, no overlap).
QByteArray UnescapeLineBreaks(const QByteArray &text);

// What an address handed to the desktop may be: a web address (absolute http
// or https with a host) or, for links that may also write mail, a mailto one.
enum class TAddressUse { Web, WebOrMail };

// The address as the desktop gets it, fully percent-encoded, so it always
// starts with its scheme and can never be taken for an option of the program
// it goes to. Empty when the address may not go out; `why` (when given) then
// tells the user the reason in a sentence.
QString DesktopAddress(const QByteArray &url, TAddressUse use = TAddressUse::Web, QString *why = nullptr);

// Starts the desktop's default web browser with `url`, encoded, as its one
// argument. False, with nothing started, when `url` is not a web address
// (see DesktopAddress) or no browser is associated with http addresses.
bool OpenURLInBrowser(const QByteArray &url);

// The command that opens `url` in the browser associated with http addresses,
// as the XDG MIME associations give it (program first, the URL one argument
// of it); empty when there is none.
QStringList DefaultBrowserCommand(const QString &url);

// Drops leading and trailing bytes up to 0x20.
QByteArray TrimAnsi(const QByteArray &text);
// Equal after upper-casing the ASCII letters a to z only.
bool SameTextAscii(const QByteArray &a, const QByteArray &b);
// ASCII-only upper case (a to z).
QByteArray UpperAscii(const QByteArray &text);

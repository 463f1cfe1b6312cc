#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The publisher's kit: a plaintext to fill in, and a report of how the program
// will read a container's settings.

// A plaintext with every tag in the order the program reads them, values
// empty, short comments between the tags (CR LF line ends).
QByteArray BrandingTemplate();

struct TBrandingReport
{
    QStringList Lines;    // every setting as the program reads it
    QStringList Warnings; // what silently hides or drops a setting
};

// Reads the settings text exactly as the program does. `folder` (trailing
// separator) is where the banner files are looked for.
TBrandingReport CheckBrandingText(const QByteArray &text, const QString &folder);

// The settings text as the publisher saved it, made into the program's
// Windows-1252 bytes. Text that is valid UTF-8 (with or without a byte-order
// mark) and holds non-ASCII characters is converted; any other text is taken
// as Windows-1252 already and kept byte for byte.
struct TSettingsTextConversion
{
    enum class TSource { Unchanged, Utf8, Utf8WithMark };
    bool Ok = false;
    TSource Source = TSource::Unchanged;
    QByteArray Text;    // the Windows-1252 bytes, when Ok
    int Converted = 0;  // non-ASCII characters converted
    // When refused: where (from 1, a column counts characters) and why.
    int Line = 0;
    int Column = 0;
    QString Problem;
};
TSettingsTextConversion ConvertSettingsText(const QByteArray &input);

// True when `text` (a container's plaintext) holds UTF-8 sequences of
// non-ASCII characters, which the program would show as two or three
// Windows-1252 characters each ("Ã©" for "é").
bool LooksLikeUtf8(const QByteArray &text);

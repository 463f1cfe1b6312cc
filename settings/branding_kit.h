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

#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// The publisher's optional files beside the program: banner pictures, the
// skin and the icon. Only reading and judging them; showing is the window's.

inline constexpr char kSkinFileName[] = "mainskin.dat";
inline constexpr char kIconFileName[] = "main.ico";

// "banner3.dat" for member 3.
QString BannerFileName(int number);

// The file-name part of a picture name; folder parts written with "\" or "/"
// and a drive are dropped.
QByteArray PictureFileName(const QByteArray &pictureName);

enum class TBannerKind { Animated, Still };
// Animated when the lower-cased file-name part contains ".gif" anywhere.
TBannerKind BannerKindOf(const QByteArray &pictureName);

// The image format for a still picture, from the extension of its file-name
// part; empty when this platform cannot read it (metafiles, unknown names).
QByteArray StillPictureFormat(const QByteArray &pictureName);

struct TBannerPicture
{
    bool Ok = false;
    TBannerKind Kind = TBannerKind::Still;
    QByteArray Format; // "gif" for an animation
    QByteArray Bytes;  // the file's contents
    QImage Image;      // the picture, or the animation's first frame
    QString Problem;   // why it is not shown, when not Ok
};

// Reads the banner file at `path` as the picture named `pictureName`. Not Ok
// when the file is missing or unreadable, its format cannot be read here, or
// the reader rejects its contents.
TBannerPicture ReadBannerPicture(const QString &path, const QByteArray &pictureName);

// Whether a skin file is a style sheet worth applying: UTF-8 text without NUL
// bytes, comments and strings closed, braces balanced, and at least one rule
// "selector { ... }" with nothing but rules outside the braces.
bool IsUsableStyleSheet(const QByteArray &bytes);

// The publisher's skin as the main window takes it, empty when the file is
// not a usable style sheet. A skin styles; it never speaks and never loads
// anything: declarations that set properties ("qproperty-...") or name a
// picture, icon or file ("url(...)", image and icon properties) are left out,
// and so are at-rules, nested blocks, escapes, and rules or declarations
// written in any form but the plain one. What is kept is written out again
// rule by rule, so that the style sheet reader gets only what was checked.
QString SafeSkinStyleSheet(const QByteArray &bytes);

// The brand's name as the program shows it (ApplicationName of the settings
// container in `appFolder`, trailing separator), in Windows-1252; empty
// without a container, when it does not open, or when the name is empty.
QByteArray BrandApplicationName(const QString &appFolder);

// The publisher's icon (the bytes of main.ico) as a PNG for the desktop: its
// largest picture, scaled down to fit 256 x 256 when larger. Empty when the
// bytes are no icon this platform reads.
QByteArray IconAsPng(const QByteArray &icoBytes);

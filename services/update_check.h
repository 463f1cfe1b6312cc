#pragma once

#include "release_identity.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <optional>

// The update check's fixed parts and its plain logic; the main window drives
// it (app/publisher_services.cpp).
namespace UpdateCheck {

// The update site. Fixed when the program is built (TARNWICK_UPDATE_BASE_URL):
// no setting changes it.
inline constexpr char UpdateBaseURL[] = TARNWICK_UPDATE_BASE_URL_TEXT;
inline constexpr char DescriptionFile[] = "mainappupdate.inf";
inline constexpr char UpdaterProgram[] = "Updater";

inline const QString NoUpdatesText = QStringLiteral("There's no new updates for this application!");
inline const QString UpdaterMissingText =
    QStringLiteral("The updater module is missing. Please reinstall again the current version!");
// The break is LF then CR, as the updater's users have always seen it.
inline const QString CloseToUpdateText = QStringLiteral(
    "To update your software the application will close to\n\rreplace some files. Do you want to update now?");
// The offer, with the version text exactly as the description file wrote it.
QString OfferText(const QByteArray &version);

// Converts a version text: optional blanks, an optional sign, digits with an
// optional decimal separator, an optional exponent (E or e), optional blanks.
// The point is always a separator; `localeSeparator` is accepted as well, so a
// description file written with points reads the same in every locale.
// Empty when the text is not such a number or overflows a double.
std::optional<double> ParseVersion(const QByteArray &text, QChar localeSeparator);
// The decimal separator of the current default locale.
QChar LocaleDecimalSeparator();

// The offered version as a 32-bit float; 0 when it does not convert or
// exceeds the float range.
float OfferedVersion(const QByteArray &text, QChar localeSeparator);
// The program's own version at full precision.
double OwnVersion(QChar localeSeparator);
// True when the offered version is strictly greater than the own one.
bool IsNewer(float offered, double own);

// What the check tells the user about the version the description file
// offers: the question offering it, or none when it is not newer than
// `ownVersion` (the program's AppVersion). The offered version is read as a
// 32-bit float and the own one at full precision, as releases always were
// compared; either that does not convert counts as 0.
struct TUpdateOffer
{
    bool offered = false;
    QString question; // the offer with the version text as written; empty when not offered
};
TUpdateOffer DecideUpdate(const QByteArray &offeredVersion, const QByteArray &ownVersion, QChar localeSeparator);

// The description file, read as the platform's INI readers read it: section
// and key names without regard to ASCII case, the first matching section and
// key win, values trimmed of blanks and tabs and of one pair of surrounding
// quotes. A missing key reads as empty.
struct TUpdateDescription
{
    QByteArray name;
    QByteArray version;
};
QByteArray IniValue(const QByteArray &ini, const QByteArray &section, const QByteArray &key);
TUpdateDescription ParseDescription(const QByteArray &ini);
// Reads the file; an unreadable file reads as empty values.
TUpdateDescription ReadDescription(const QString &path);

} // namespace UpdateCheck

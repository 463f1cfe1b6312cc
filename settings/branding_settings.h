#pragma once

#include "release_identity.h"

#include <QByteArray>

// The program's own version: caption, About box and update check. Set when
// the build is configured (TARNWICK_VERSION, "2.0" unless a release says
// otherwise).
inline constexpr const char AppVersion[] = TARNWICK_VERSION_TEXT;

// The publisher's settings, read from the container once at start and constant
// afterwards. Every value is empty without a container.
struct TBrandingSettings
{
    QByteArray ApplicationName;
    QByteArray BranderCode;
    QByteArray BranderType;
    QByteArray AffiliateURL; // "%%AFFILIATEID%%" already replaced
    QByteArray AffiliateID;
    QByteArray MasterNewsBaseURL;
    QByteArray PlatinumNewsBaseURL;
    QByteArray GoldNewsBaseURL;
    QByteArray MasterPublID;
    QByteArray PlatinumPublID;
    QByteArray GoldPublID;
    QByteArray AppHelpURL;
    QByteArray CopyrightYears;
    QByteArray CopyrightCompany;
    QByteArray AboutText;
    QByteArray WelcomePage;
    QByteArray BannerPicture;
    QByteArray BannerLinkURL;
    // The member number of the chosen banner (its picture is bannerN.dat);
    // 0 when no banner was chosen.
    int BannerNumber = 0;
    QByteArray Link1Caption;
    QByteArray Link1URL;
    QByteArray Link2Caption;
    QByteArray Link2URL;
};

// The process-wide record. Only LoadBrandingSettings writes it (tests aside).
TBrandingSettings &BrandingSettings();

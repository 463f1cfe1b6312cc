#include "branding_kit.h"

#include "branding_parser.h"
#include "publisher_files.h"
#include "util/codepage.h"

namespace {

struct TTemplateEntry
{
    const char *name;
    const char *comment;
};

// Comments stand outside the tags and hold no tag-like text, so the program
// ignores them.
const TTemplateEntry kTemplate[] = {
    {"ApplicationName", "Name of the program: title bar (followed by \" v2.0\") and About box."},
    {"BranderCode", "Your brander code, sent with every news request."},
    {"BranderType", "Membership level, exactly one of: Master, Platinum, Gold, Free."},
    {"AffiliateURL", "Address opened by the Make Money button; %%AFFILIATEID%% is replaced by AffiliateID."},
    {"AffiliateTYPE", "Not used; keep it in its place."},
    {"AffiliateID", "Your affiliate id."},
    {"MasterNewsBaseURL", "News site of the Master level (also shows the news button for Free)."},
    {"PlatinumNewsBaseURL", "News site of the Platinum level."},
    {"GoldNewsBaseURL", "News site of the Gold level."},
    {"MasterPublID", "Publisher id of the Master level (also needed for Free)."},
    {"PlatinumPublID", "Publisher id of the Platinum level."},
    {"GoldPublID", "Publisher id of the Gold level."},
    {"MakeMoneyButton", "Caption of the Make Money button; empty keeps \"Make Money\"."},
    {"AppHelpURL", "Address opened by the Help button."},
    {"CopyrightYears", "Years of the About box's copyright line, for example 2004-2006."},
    {"CopyrightCompany", "Company of the About box's copyright line."},
    {"AboutText", "Text of the About box; it may span several lines."},
};

QString Show(const QByteArray &value)
{
    return FromAnsi(value);
}

void AddValue(QStringList &lines, const QByteArray &name, const QByteArray &value)
{
    const QString label = QString::fromLatin1(name);
    if (value.isEmpty()) {
        lines << label + QStringLiteral(": (empty)");
        return;
    }
    if (!value.contains('\r') && !value.contains('\n')) {
        lines << label + QStringLiteral(": ") + Show(value);
        return;
    }
    lines << label + QStringLiteral(":");
    for (const QByteArray &line : SplitLines(value))
        lines << QStringLiteral("    | ") + Show(line);
}

QString Tag(const QByteArray &name)
{
    return QString::fromLatin1(OpenTag(name));
}

} // namespace

QByteArray BrandingTemplate()
{
    TStringList lines;
    lines << "Tarnwick branding settings."
          << "Fill in the values between each pair of tags, then pack this text into dbsettings.dat."
          << "Text outside the tags is ignored. Keep every tag in the order below: the program reads them in"
          << "this order, and a tag placed before one that comes earlier here is not found."
          << "";
    for (const TTemplateEntry &e : kTemplate) {
        lines << e.comment << OpenTag(e.name) + CloseTag(e.name) << "";
    }
    lines << "Welcome pages (HTML), one is chosen at random: Welcome1, Welcome2, ... up to 16, numbered"
          << "without gaps (the first empty or missing number ends the list). Leave Welcome1 empty for none."
          << OpenTag("Welcome1") + CloseTag("Welcome1") << ""
          << "Banners, one is chosen at random: picture name^address opened by a click. The picture of BannerN"
          << "is the file bannerN.dat beside the program; a name with .gif is an animated GIF, otherwise the"
          << "extension gives the format (bmp, ico, jpg, png). Banner1 up to Banner16, without gaps."
          << OpenTag("Banner1") + CloseTag("Banner1") << ""
          << "Links at the bottom of the window, two different ones are chosen at random: caption^address."
          << "Link1 up to Link16, without gaps."
          << OpenTag("Link1") + CloseTag("Link1") << OpenTag("Link2") + CloseTag("Link2");
    return JoinLines(lines);
}

TBrandingReport CheckBrandingText(const QByteArray &text, const QString &folder)
{
    TBrandingReport report;
    QList<TTagTrace> trace;
    const TBrandingText parsed = ParseBrandingText(text, &trace);
    const TBrandingSettings &v = parsed.Values;
    QStringList &lines = report.Lines;
    QStringList &warn = report.Warnings;

    // How each searched tag fared.
    for (const TTagTrace &t : trace) {
        if (t.Found == TTagFound::Unclosed)
            warn << QStringLiteral("%1 has no close tag after it; its value is read as empty.").arg(Tag(t.Name));
        else if (t.Found == TTagFound::Missing && IndexOfIgnoringAsciiCase(text, OpenTag(t.Name)) >= 0)
            warn << QStringLiteral("%1 stands before a tag that is read earlier, so it is not found; "
                                   "move it to its place in the template's order.")
                        .arg(Tag(t.Name));
    }

    // Families that end at a gap.
    const TStringList *const families[] = {&parsed.Welcome, &parsed.Banner, &parsed.Link};
    for (qsizetype f = 0; f < BrandingFamilyNames().size(); ++f) {
        const QByteArray &family = BrandingFamilyNames()[f];
        const int stop = static_cast<int>(families[f]->size()) + 1;
        QStringList hidden;
        for (int n = stop + 1; n <= kFamilySize; ++n)
            if (IndexOfIgnoringAsciiCase(text, OpenTag(family + QByteArray::number(n))) >= 0)
                hidden << QString::fromLatin1(family) + QString::number(n);
        if (stop <= kFamilySize && !hidden.isEmpty())
            warn << QStringLiteral("%1%2 is missing or empty, so %3 %4 not read.")
                        .arg(QString::fromLatin1(family))
                        .arg(stop)
                        .arg(hidden.join(QStringLiteral(", ")),
                             hidden.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }

    lines << QStringLiteral("Settings as the program reads them:");
    const QByteArray *const single[] = {
        &v.ApplicationName, &v.BranderCode,      &v.BranderType,   &parsed.AffiliateURLAsWritten, &parsed.AffiliateTYPE,
        &v.AffiliateID,     &v.MasterNewsBaseURL, &v.PlatinumNewsBaseURL, &v.GoldNewsBaseURL,      &v.MasterPublID,
        &v.PlatinumPublID,  &v.GoldPublID,       &parsed.MakeMoneyButton, &v.AppHelpURL,          &v.CopyrightYears,
        &v.CopyrightCompany, &v.AboutText,
    };
    for (qsizetype i = 0; i < BrandingTagNames().size(); ++i)
        AddValue(lines, BrandingTagNames()[i], *single[i]);
    for (qsizetype f = 0; f < BrandingFamilyNames().size(); ++f)
        for (qsizetype i = 0; i < families[f]->size(); ++i)
            AddValue(lines, BrandingFamilyNames()[f] + QByteArray::number(i + 1), families[f]->at(i));

    lines << QString() << QStringLiteral("What the program makes of them:");
    lines << QStringLiteral("Window caption: ") + Show(v.ApplicationName) + QStringLiteral(" v") +
                 QString::fromLatin1(AppVersion);
    lines << QStringLiteral("Make Money button: ") + Show(MakeMoneyCaption(parsed)) + QStringLiteral(" -> ") +
                 (v.AffiliateURL.isEmpty() ? QStringLiteral("(empty address)") : Show(v.AffiliateURL));
    lines << QStringLiteral("News button: ") +
                 (NewsButtonVisible(v) ? QStringLiteral("shown") : QStringLiteral("hidden"));
    lines << QStringLiteral("Welcome pages: %1").arg(parsed.Welcome.size());

    // Levels.
    const TBranderLevel level = BranderLevel(v.BranderType);
    const QString type = Show(v.BranderType);
    if (level == TBranderLevel::None) {
        warn << (v.BranderType.isEmpty()
                     ? QStringLiteral("BranderType is empty: no level, so the news button is hidden and no news "
                                      "is fetched.")
                     : QStringLiteral("BranderType \"%1\" is not one of Master, Platinum, Gold, Free (exact case): "
                                      "the news button is hidden and no news is fetched.")
                           .arg(type));
    } else {
        QByteArray site, id, siteName, idName;
        switch (level) {
        case TBranderLevel::Platinum:
            site = v.PlatinumNewsBaseURL, id = v.PlatinumPublID, siteName = "PlatinumNewsBaseURL",
            idName = "PlatinumPublID";
            break;
        case TBranderLevel::Gold:
            site = v.GoldNewsBaseURL, id = v.GoldPublID, siteName = "GoldNewsBaseURL", idName = "GoldPublID";
            break;
        default: // Master, and Free, whose button goes by the Master values
            site = v.MasterNewsBaseURL, id = v.MasterPublID, siteName = "MasterNewsBaseURL", idName = "MasterPublID";
            break;
        }
        for (const auto &[value, name] : {std::pair{site, siteName}, std::pair{id, idName}})
            if (value.isEmpty())
                warn << QStringLiteral("Level %1 without %2: the news button is hidden%3.")
                            .arg(type, QString::fromLatin1(name),
                                 level == TBranderLevel::Free ? QString() : QStringLiteral(" and no news is fetched"));
    }

    // Banners and links.
    for (qsizetype i = 0; i < parsed.Banner.size(); ++i) {
        const QString member = QStringLiteral("Banner%1").arg(i + 1);
        QByteArray picture, link;
        if (!SplitMember(parsed.Banner[i], picture, link)) {
            warn << member + QStringLiteral(" has fewer than two fields (picture^address); it is never shown.");
            continue;
        }
        if (picture.isEmpty()) {
            warn << member + QStringLiteral(" has no picture name; when chosen, the banner bar is hidden.");
            continue;
        }
        const TBannerPicture pic = ReadBannerPicture(folder + BannerFileName(static_cast<int>(i) + 1), picture);
        if (!pic.Ok) {
            warn << member + QStringLiteral(": ") + pic.Problem + QStringLiteral("; when chosen, the banner bar is hidden.");
            continue;
        }
        lines << member + QStringLiteral(": %1 %2 x %3 from %4, link %5")
                              .arg(pic.Kind == TBannerKind::Animated ? QStringLiteral("animated GIF")
                                                                     : QStringLiteral("picture"))
                              .arg(pic.Image.width())
                              .arg(pic.Image.height())
                              .arg(BannerFileName(static_cast<int>(i) + 1),
                                   link.isEmpty() ? QStringLiteral("(none)") : Show(link));
    }
    for (qsizetype i = 0; i < parsed.Link.size(); ++i) {
        const QString member = QStringLiteral("Link%1").arg(i + 1);
        QByteArray caption, url;
        if (!SplitMember(parsed.Link[i], caption, url)) {
            warn << member + QStringLiteral(" has no URL (caption^address); it is never shown.");
            continue;
        }
        if (url.isEmpty())
            warn << member + QStringLiteral(" has no URL; its label opens nothing.");
        if (caption.isEmpty())
            warn << member + QStringLiteral(" has no caption; when it is chosen first, the link bar is hidden.");
    }
    return report;
}

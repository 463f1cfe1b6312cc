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
    {"BranderType", "Membership level, exactly one of (letter case counts): Master, Platinum, Gold, Free.\r\n"
                    "Master, Platinum and Gold fetch news from their own news site with their own publisher id and\r\n"
                    "show the news button; Free fetches no news, and shows the news button only when\r\n"
                    "MasterNewsBaseURL and MasterPublID are filled in. Any other value: no news, no news button."},
    {"AffiliateURL", "Address opened by the Make Money button; %%AFFILIATEID%% is replaced by AffiliateID."},
    {"AffiliateTYPE", "Not used; keep it in its place."},
    {"AffiliateID", "Your affiliate id."},
    {"MasterNewsBaseURL", "News site of the Master level: the http:// or https:// address of the folder that holds\r\n"
                          "getlastnews.php and getnewsdetails.php, for example http://news.example.com/tarnwick/\r\n"
                          "(with or without the final slash). The same form for the two sites below."},
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
          << "Save the text as UTF-8 (with or without a byte-order mark) or as Windows-1252: pack converts"
          << "UTF-8 to the Windows-1252 the program reads, and refuses a character Windows-1252 cannot hold."
          << "Optional files beside dbsettings.dat, in the program's folder: banner1.dat to banner16.dat (the"
          << "banner pictures, see Banner below), mainskin.dat (a skin for all windows) and main.ico (the"
          << "program's icon)."
          << "";
    for (const TTemplateEntry &e : kTemplate) {
        for (const QByteArray &line : QByteArray(e.comment).split('\n'))
            lines << (line.endsWith('\r') ? line.chopped(1) : line);
        lines << OpenTag(e.name) + CloseTag(e.name) << "";
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
        for (int n = stop + 1; n <= kFamilySize; ++n) {
            // An empty member hides nothing worth a warning: the template
            // itself holds empty Link1 and Link2.
            const QByteArray member = family + QByteArray::number(n);
            QByteArray rest = text;
            if (!ExtractTagValue(OpenTag(member), CloseTag(member), rest).isEmpty())
                hidden << QString::fromLatin1(member);
        }
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

namespace {

// One UTF-8 sequence at `i`: its code point and length, or length 0 when the
// bytes there are no valid sequence (overlong forms and surrogates included).
struct TUtf8Char
{
    char32_t Code = 0;
    int Length = 0;
};

TUtf8Char DecodeUtf8(const QByteArray &s, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned b0 = byte(i);
    if (b0 < 0x80)
        return {b0, 1};
    int length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0)
        length = 2, code = b0 & 0x1F, minimum = 0x80;
    else if ((b0 & 0xF0) == 0xE0)
        length = 3, code = b0 & 0x0F, minimum = 0x800;
    else if ((b0 & 0xF8) == 0xF0)
        length = 4, code = b0 & 0x07, minimum = 0x10000;
    else
        return {};
    for (int k = 1; k < length; ++k) {
        const unsigned b = byte(i + k);
        if ((b & 0xC0) != 0x80)
            return {};
        code = (code << 6) | (b & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {code, length};
}

QString Describe(char32_t code)
{
    const QString hex = QStringLiteral("U+%1").arg(uint(code), 4, 16, QLatin1Char('0')).toUpper();
    if (code < 0x20 || (code >= 0x7F && code < 0xA0))
        return hex;
    return QStringLiteral("\"%1\" (%2)").arg(QString::fromUcs4(&code, 1), hex);
}

} // namespace

TSettingsTextConversion ConvertSettingsText(const QByteArray &input)
{
    TSettingsTextConversion result;
    const auto refuse = [&](int line, int column, const QString &problem) {
        result.Ok = false;
        result.Text.clear();
        result.Line = line;
        result.Column = column;
        result.Problem = problem;
        return result;
    };
    if (input.startsWith("\xFF\xFE") || input.startsWith("\xFE\xFF"))
        return refuse(1, 1, QStringLiteral("the text is UTF-16; save it as UTF-8 or Windows-1252"));

    const bool marked = input.startsWith("\xEF\xBB\xBF");
    const QByteArray text = marked ? input.mid(3) : input;
    QByteArray out;
    out.reserve(text.size());
    int line = 1;
    int column = 0;
    int converted = 0;
    bool utf8 = true;
    int badLine = 0;
    int badColumn = 0;
    uint badByte = 0;
    for (qsizetype i = 0; i < text.size();) {
        const TUtf8Char c = DecodeUtf8(text, i);
        ++column;
        if (c.Length == 0) {
            utf8 = false;
            badLine = line;
            badColumn = column;
            badByte = static_cast<unsigned char>(text[i]);
            break;
        }
        if (c.Code == '\n' || (c.Code == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
            column = 0;
        }
        i += c.Length;
        if (c.Code < 0x80) {
            out.append(char(c.Code));
            continue;
        }
        if (c.Code < 0xA0)
            return refuse(line, column,
                          QStringLiteral("the control character %1 has no place in a settings text").arg(Describe(c.Code)));
        if (c.Code > 0xFFFF || !IsAnsiEncodable(QChar(char16_t(c.Code))))
            return refuse(line, column,
                          QStringLiteral("the character %1 has no Windows-1252 byte, so the program cannot show it")
                              .arg(Describe(c.Code)));
        out.append(ToAnsi(QString(QChar(char16_t(c.Code)))));
        ++converted;
    }
    if (!utf8) {
        if (marked)
            return refuse(badLine, badColumn,
                          QStringLiteral("the byte 0x%1 is not valid UTF-8, although the text starts with a UTF-8 "
                                         "byte-order mark")
                              .arg(QString::number(badByte, 16).toUpper().rightJustified(2, QLatin1Char('0'))));
        result.Ok = true;
        result.Text = input;
        return result;
    }
    result.Ok = true;
    result.Text = out;
    result.Converted = converted;
    result.Source = marked ? TSettingsTextConversion::TSource::Utf8WithMark
                           : (converted > 0 ? TSettingsTextConversion::TSource::Utf8
                                            : TSettingsTextConversion::TSource::Unchanged);
    return result;
}

bool LooksLikeUtf8(const QByteArray &text)
{
    bool multiByte = false;
    for (qsizetype i = 0; i < text.size();) {
        const TUtf8Char c = DecodeUtf8(text, i);
        if (c.Length == 0)
            return false;
        multiByte = multiByte || c.Length > 1;
        i += c.Length;
    }
    return multiByte;
}

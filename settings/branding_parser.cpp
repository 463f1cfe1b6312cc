#include "branding_parser.h"

#include "util/text_utils.h"

#include <chrono>
#include <random>

const QList<QByteArray> &BrandingTagNames()
{
    static const QList<QByteArray> names{
        "ApplicationName",   "BranderCode",         "BranderType",     "AffiliateURL",   "AffiliateTYPE",
        "AffiliateID",       "MasterNewsBaseURL",   "PlatinumNewsBaseURL", "GoldNewsBaseURL", "MasterPublID",
        "PlatinumPublID",    "GoldPublID",          "MakeMoneyButton", "AppHelpURL",     "CopyrightYears",
        "CopyrightCompany",  "AboutText",
    };
    return names;
}

const QList<QByteArray> &BrandingFamilyNames()
{
    static const QList<QByteArray> names{"Welcome", "Banner", "Link"};
    return names;
}

TBrandingText ParseBrandingText(const QByteArray &text, QList<TTagTrace> *trace)
{
    TBrandingText out;
    TBrandingSettings &v = out.Values;
    QByteArray rest = text;

    const auto take = [&](const QByteArray &name) {
        TTagFound found;
        QByteArray value = ExtractTagValue(OpenTag(name), CloseTag(name), rest, &found);
        if (trace)
            trace->append({name, found, value.isEmpty()});
        return value;
    };

    QByteArray *const single[] = {
        &v.ApplicationName, &v.BranderCode,      &v.BranderType,    &out.AffiliateURLAsWritten, &out.AffiliateTYPE,
        &v.AffiliateID,     &v.MasterNewsBaseURL, &v.PlatinumNewsBaseURL, &v.GoldNewsBaseURL, &v.MasterPublID,
        &v.PlatinumPublID,  &v.GoldPublID,       &out.MakeMoneyButton, &v.AppHelpURL,         &v.CopyrightYears,
        &v.CopyrightCompany, &v.AboutText,
    };
    static_assert(std::size(single) == 17);
    for (qsizetype i = 0; i < BrandingTagNames().size(); ++i)
        *single[i] = take(BrandingTagNames()[i]);

    v.AffiliateURL = out.AffiliateURLAsWritten;
    v.AffiliateURL.replace(kAffiliatePlaceholder, v.AffiliateID);

    TStringList *const families[] = {&out.Welcome, &out.Banner, &out.Link};
    for (qsizetype f = 0; f < BrandingFamilyNames().size(); ++f) {
        for (int n = 1; n <= kFamilySize; ++n) {
            const QByteArray member = take(BrandingFamilyNames()[f] + QByteArray::number(n));
            if (member.isEmpty())
                break;
            families[f]->append(member);
        }
    }
    return out;
}

QByteArray MakeMoneyCaption(const TBrandingText &parsed)
{
    return parsed.MakeMoneyButton.isEmpty() ? QByteArray(kDefaultMakeMoneyCaption) : parsed.MakeMoneyButton;
}

bool SplitMember(const QByteArray &member, QByteArray &first, QByteArray &second)
{
    TStringList fields;
    SplitByDelimiter('^', member, fields);
    if (fields.size() < 2)
        return false;
    first = fields[0];
    second = fields[1];
    return true;
}

namespace {

TRandomIndex &RandomSource()
{
    static TRandomIndex source;
    return source;
}

qsizetype ClockRandomIndex(qsizetype count)
{
    const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::mt19937_64 generator(static_cast<std::uint64_t>(now));
    std::uniform_int_distribution<qsizetype> pick(0, count - 1);
    return pick(generator);
}

// The members of a Banner or Link family that have two fields, with their
// positions in the family.
QList<qsizetype> WellFormed(const TStringList &family)
{
    QList<qsizetype> out;
    QByteArray a, b;
    for (qsizetype i = 0; i < family.size(); ++i)
        if (SplitMember(family[i], a, b))
            out.append(i);
    return out;
}

} // namespace

void SetBrandingRandom(TRandomIndex random)
{
    RandomSource() = std::move(random);
}

qsizetype BrandingRandomIndex(qsizetype count)
{
    if (count <= 0)
        return 0;
    const qsizetype index = RandomSource() ? RandomSource()(count) : ClockRandomIndex(count);
    // A replaced source that strays out of range must not index past the list.
    return ((index % count) + count) % count;
}

TBrandingSettings ChooseBranding(const TBrandingText &parsed)
{
    TBrandingSettings s = parsed.Values;

    if (!parsed.Welcome.isEmpty())
        s.WelcomePage = parsed.Welcome[BrandingRandomIndex(parsed.Welcome.size())];

    const QList<qsizetype> banners = WellFormed(parsed.Banner);
    if (!banners.isEmpty()) {
        const qsizetype i = banners[BrandingRandomIndex(banners.size())];
        SplitMember(parsed.Banner[i], s.BannerPicture, s.BannerLinkURL);
        s.BannerNumber = static_cast<int>(i) + 1;
    }

    QList<qsizetype> links = WellFormed(parsed.Link);
    if (!links.isEmpty()) {
        const qsizetype first = BrandingRandomIndex(links.size());
        SplitMember(parsed.Link[links[first]], s.Link1Caption, s.Link1URL);
        links.removeAt(first);
        if (!links.isEmpty())
            SplitMember(parsed.Link[links[BrandingRandomIndex(links.size())]], s.Link2Caption, s.Link2URL);
    }
    return s;
}

TBranderLevel BranderLevel(const QByteArray &branderType)
{
    if (branderType == "Master")
        return TBranderLevel::Master;
    if (branderType == "Platinum")
        return TBranderLevel::Platinum;
    if (branderType == "Gold")
        return TBranderLevel::Gold;
    if (branderType == "Free")
        return TBranderLevel::Free;
    return TBranderLevel::None;
}

TNewsSite NewsSiteOf(const TBrandingSettings &s)
{
    switch (BranderLevel(s.BranderType)) {
    case TBranderLevel::Master:
        return {s.MasterNewsBaseURL, s.MasterPublID, "BM"};
    case TBranderLevel::Platinum:
        return {s.PlatinumNewsBaseURL, s.PlatinumPublID, "BP"};
    case TBranderLevel::Gold:
        return {s.GoldNewsBaseURL, s.GoldPublID, "BG"};
    case TBranderLevel::Free:
    case TBranderLevel::None:
        break;
    }
    return {};
}

bool NewsButtonVisible(const TBrandingSettings &s)
{
    switch (BranderLevel(s.BranderType)) {
    case TBranderLevel::Free:
        return !s.MasterPublID.isEmpty() && !s.MasterNewsBaseURL.isEmpty();
    case TBranderLevel::None:
        return false;
    default: {
        const TNewsSite site = NewsSiteOf(s);
        return !site.PublID.isEmpty() && !site.BaseURL.isEmpty();
    }
    }
}

#pragma once

#include "branding_settings.h"
#include "tag_text.h"
#include "util/string_list.h"

#include <QByteArray>
#include <QList>

#include <functional>

// Reading the settings text into values, without any window: the program and
// the publisher's kit share it, so both see the same settings.

// The single tags, in the order in which they are searched.
const QList<QByteArray> &BrandingTagNames();
// The numbered families, in their order; members 1 to kFamilySize.
const QList<QByteArray> &BrandingFamilyNames();
inline constexpr int kFamilySize = 16;

inline constexpr char kAffiliatePlaceholder[] = "%%AFFILIATEID%%";
inline constexpr char kDefaultMakeMoneyCaption[] = "Make Money";

// Everything the text says, before the random choices.
struct TBrandingText
{
    // The single values; AffiliateURL with the placeholder replaced. The
    // chosen welcome page, banner and links are still empty.
    TBrandingSettings Values;
    QByteArray AffiliateURLAsWritten;
    QByteArray AffiliateTYPE; // searched for its place in the order only
    QByteArray MakeMoneyButton; // as written; empty when absent
    // Members 1, 2, ... up to (not including) the first empty or missing one.
    TStringList Welcome;
    TStringList Banner;
    TStringList Link;
};

// One searched tag, for the publisher's check.
struct TTagTrace
{
    QByteArray Name;
    TTagFound Found = TTagFound::Missing;
    bool Empty = true;
};

TBrandingText ParseBrandingText(const QByteArray &text, QList<TTagTrace> *trace = nullptr);

// The caption of the Make Money button.
QByteArray MakeMoneyCaption(const TBrandingText &parsed);

// Splits a Banner or Link member at "^" into its first two fields. A member
// with fewer than two fields (no "^", or only a trailing one) is malformed:
// false, and it is never chosen.
bool SplitMember(const QByteArray &member, QByteArray &first, QByteArray &second);

// The random source of the choices: an index from 0 to count - 1. By default
// a generator seeded from the clock before each draw; tests replace it. An
// empty function restores the default.
using TRandomIndex = std::function<qsizetype(qsizetype count)>;
void SetBrandingRandom(TRandomIndex random);
qsizetype BrandingRandomIndex(qsizetype count);

// The values with the welcome page, the banner and two different links drawn
// from the families (malformed Banner and Link members left out).
TBrandingSettings ChooseBranding(const TBrandingText &parsed);

// Membership level: BranderType compared exactly, whole value.
enum class TBranderLevel { None, Master, Platinum, Gold, Free };
TBranderLevel BranderLevel(const QByteArray &branderType);

// The news site of the level: base address, publisher id and the product type
// the news requests send. All empty for Free and for no level.
struct TNewsSite
{
    QByteArray BaseURL;
    QByteArray PublID;
    QByteArray ProductType;
};
TNewsSite NewsSiteOf(const TBrandingSettings &settings);

// Whether the "Check News" button is shown. Free shows it on the Master site's
// values, though Free fetches no news.
bool NewsButtonVisible(const TBrandingSettings &settings);

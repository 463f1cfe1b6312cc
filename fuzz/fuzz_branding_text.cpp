// The whole settings text as the program reads it at start, with the choices
// drawn at both ends of their range, and the picture names it gives.
#include "fuzz_check.h"
#include "settings/branding_parser.h"
#include "settings/publisher_files.h"

namespace {

void Choose(const TBrandingText &parsed, bool last)
{
    SetBrandingRandom([last](qsizetype count) { return last ? count - 1 : qsizetype(0); });
    const TBrandingSettings chosen = ChooseBranding(parsed);
    NewsSiteOf(chosen);
    NewsButtonVisible(chosen);
    BranderLevel(chosen.BranderType);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QList<TTagTrace> trace;
    const TBrandingText parsed = ParseBrandingText(FuzzBytes(data, size), &trace);
    FUZZ_CHECK(trace.size() >= BrandingTagNames().size());
    FUZZ_CHECK(parsed.Welcome.size() <= kFamilySize && parsed.Banner.size() <= kFamilySize &&
               parsed.Link.size() <= kFamilySize);
    MakeMoneyCaption(parsed);
    for (const QByteArray &member : parsed.Banner + parsed.Link) {
        QByteArray first, second;
        if (SplitMember(member, first, second)) {
            PictureFileName(first);
            BannerKindOf(first);
            StillPictureFormat(first);
        }
    }
    Choose(parsed, false);
    Choose(parsed, true);
    SetBrandingRandom({});
    return 0;
}

#include "branding_settings.h"

TBrandingSettings &BrandingSettings()
{
    static TBrandingSettings settings;
    return settings;
}

// Branding of the main window from the publisher's settings container.
#include "main_window.h"

#include "settings/branding_settings.h"
#include "util/codepage.h"

#include <QTextBrowser>

void TfrmMain::ConnectBrandingHandlers()
{
}

void TfrmMain::LoadBrandingSettings()
{
    BrandingSettings() = TBrandingSettings{};
}

void TfrmMain::ShowWelcomePage()
{
    prfWelcome->setHtml(FromAnsi(BrandingSettings().WelcomePage));
}

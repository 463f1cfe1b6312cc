// The publisher's services of the main window: they live in
// TPublisherServices; the window's handlers only hand over.
#include "main_window.h"

#include "publisher_services.h"
#include "util/error_reporter.h"

#include <QTimer>
#include <QToolButton>

void TfrmMain::ConnectServiceHandlers()
{
    TPublisherControls controls;
    controls.window = this;
    controls.messages = msgMain;
    controls.appFolder = AppFolder();
    controls.newsTimer = Timer1;
    controls.btnNews = btnNews;
    controls.btnUpdate = btnUpdate;
    controls.panBanner = panBanner;
    controls.imgBanner = imgBanner;
    controls.gifBanner = gifBanner;
    controls.gifMovie = gifMovie;
    controls.btnMakeMoney = btnMakeMoney;
    controls.panLinks = panLinks;
    controls.lblLink1URL = lblLink1URL;
    controls.lblLink2URL = lblLink2URL;
    m_services = new TPublisherServices(controls);

    connect(Timer1, &QTimer::timeout, this, Guarded(this, &TfrmMain::Timer1Timer));
    connect(btnUpdate, &QToolButton::clicked, this, Guarded(this, &TfrmMain::btnUpdateClick));
    connect(btnNews, &QToolButton::clicked, this, Guarded(this, &TfrmMain::btnNewsClick));
}

void TfrmMain::Timer1Timer()
{
    m_services->NewsTick();
}

void TfrmMain::btnNewsClick()
{
    m_services->CheckNews();
}

void TfrmMain::btnUpdateClick()
{
    m_services->CheckForUpdates(false);
}

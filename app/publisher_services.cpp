#include "publisher_services.h"

#include "link_label.h"
#include "services/http_client.h"
#include "services/message_hint.h"
#include "services/news_announcement.h"
#include "services/news_service.h"
#include "services/news_window.h"
#include "services/update_check.h"
#include "settings/branding_parser.h"
#include "settings/branding_settings.h"
#include "settings/last_news.h"
#include "settings/publisher_files.h"
#include "util/codepage.h"
#include "util/error_reporter.h"
#include "util/errors.h"
#include "util/message_service.h"
#include "util/text_utils.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMovie>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace UpdateCheck;

namespace {

constexpr char kNewsTarget[] = "UA";

} // namespace

void OpenPublisherAddress(TMessageService &messages, const QByteArray &url)
{
    QString why;
    if (DesktopAddress(url, TAddressUse::Web, &why).isEmpty()) {
        messages.MessageDlg(why, TMsgDlgType::mtWarning, mbOK);
        return;
    }
    OpenURLInBrowser(url);
}

TPublisherServices::TPublisherServices(const TPublisherControls &controls)
    : QObject(controls.window), m_controls(controls), m_messages(*controls.messages),
      m_client(new THttpClient(this))
{
    setObjectName(QStringLiteral("PublisherServices"));
    connect(m_controls.btnMakeMoney, &QPushButton::clicked, this, Guarded(this, &TPublisherServices::MakeMoneyClick));
    for (TLinkLabel *link : {m_controls.lblLink1URL, m_controls.lblLink2URL})
        connect(link, &TLinkLabel::linkRefused, this,
                [this](const QString &why) { m_messages.MessageDlg(why, TMsgDlgType::mtWarning, mbOK); });
}

TPublisherServices::TWaitStart TPublisherServices::StartWait() const
{
    return {m_controls.window->isVisible(), m_closes};
}

bool TPublisherServices::ClosedMeanwhile(const TWaitStart &start) const
{
    return start.shown && (m_closes != start.closes || !m_controls.window->isVisible());
}

void TPublisherServices::WindowClosing()
{
    ++m_closes;
    m_client->Disconnect();
}

// --- News ---

void TPublisherServices::NewsTick()
{
    m_controls.newsTimer->stop(); // one tick per enabling
    const TWaitStart start = StartWait();
    const TBrandingSettings &s = BrandingSettings();
    const TNewsSite site = NewsSiteOf(s);
    if (site.PublID.isEmpty()) {
        AfterLatestNews(start, false, {}, {});
        return;
    }
    NewsService::FetchLatestNews(*m_client, site.PublID, s.BranderCode, site.ProductType, kNewsTarget, this,
                                 [this, start](bool found, const QByteArray &newsId, const QByteArray &title) {
                                     AfterLatestNews(start, found, newsId, title);
                                 });
}

void TPublisherServices::AfterLatestNews(const TWaitStart &start, bool found, const QByteArray &newsId,
                                         const QByteArray &title)
{
    // A window closed while the request waited is on its way out.
    if (ClosedMeanwhile(start)) {
        emit tickFinished();
        return;
    }
    bool checking = false;
    ErrorReporter::Run([&] {
        if (found) {
            const QString news =
                NewsService::NewsAnnouncement(newsId, title, ReadLastNewsId(m_controls.appFolder));
            if (!news.isEmpty())
                ShowNewsBalloon(news);
        }
        checking = RunUpdateCheck(true, [this](bool) { emit tickFinished(); });
    });
    if (!checking)
        emit tickFinished();
}

void TPublisherServices::ShowNewsBalloon(const QString &text)
{
    // The centre of btnNews in its toolbar's coordinates, mapped as a point of
    // the window's client area.
    const QToolButton *button = m_controls.btnNews;
    const QPoint centre(button->x() + button->width() / 2, button->y() + button->height() / 2);
    if (!m_newsBalloon)
        m_newsBalloon = new TMessageHint(m_controls.window);
    m_newsBalloon->ShowMessage(text, m_controls.window->mapToGlobal(centre));
}

bool TPublisherServices::NewsBalloonShown() const
{
    return m_newsBalloon && m_newsBalloon->isVisible();
}

void TPublisherServices::CheckNews()
{
    if (m_fetchingNewsList)
        return;
    const TWaitStart start = StartWait();
    m_newsList.clear();
    const TBrandingSettings &s = BrandingSettings();
    const TNewsSite site = NewsSiteOf(s);
    if (site.PublID.isEmpty()) {
        ShowNewsList(start, false);
        return;
    }
    m_fetchingNewsList = true;
    // The user waits for an answer: the button shows that it is working.
    m_controls.btnNews->setCursor(Qt::WaitCursor);
    NewsService::FetchNewsList(*m_client, m_messages, site.PublID, s.BranderCode, site.ProductType, kNewsTarget,
                               this, [this, start](bool ok, const TStringList &list) {
                                   m_fetchingNewsList = false;
                                   m_controls.btnNews->unsetCursor();
                                   m_newsList = list;
                                   ShowNewsList(start, ok);
                               });
}

void TPublisherServices::ShowNewsList(const TWaitStart &start, bool ok)
{
    ErrorReporter::Run([&] {
        if (ClosedMeanwhile(start))
            return;
        if (ok && !m_newsList.isEmpty()) {
            TfrmNews frmNews(*m_client, m_messages, m_controls.appFolder, m_newsList, m_controls.window);
            frmNews.exec();
            return;
        }
        m_messages.MessageDlg(QStringLiteral("There's no news for this application!"), TMsgDlgType::mtInformation,
                              mbOK);
    });
    emit newsListFinished();
}

// --- Update check ---

QByteArray TPublisherServices::UpdateSite() const
{
    return m_updateBaseURL.isEmpty() ? QByteArray(UpdateBaseURL) : m_updateBaseURL;
}

void TPublisherServices::CheckForUpdates(bool quiet)
{
    RunUpdateCheck(quiet, [this](bool started) { emit checkFinished(started); });
}

bool TPublisherServices::RunUpdateCheck(bool quiet, std::function<void(bool started)> done)
{
    // A second check while one waits would delete the description the first
    // is still writing, and every message would come twice.
    if (m_checkingUpdates)
        return false;
    const TWaitStart start = StartWait();
    const QByteArray site = UpdateSite();
    const QString local = m_controls.appFolder + QLatin1String(DescriptionFile);
    QFile::remove(local);
    auto file = std::make_shared<QFile>(local);
    // Not being able to create the file is a fault of the folder, not of the
    // update site: it goes to the error reporter.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw EFileError(QStringLiteral("Cannot create the file \"%1\": %2")
                             .arg(QDir::toNativeSeparators(local), file->errorString()));
    m_checkingUpdates = true;
    // A check the user asked for shows on its button that it is working.
    if (!quiet)
        m_controls.btnUpdate->setCursor(Qt::WaitCursor);
    THttpExchange *exchange = m_client->Get(site + DescriptionFile, *file);
    connect(exchange, &THttpExchange::finished, this, [=, this] {
        bool downloaded = !exchange->Error() && file->flush();
        file->close();
        if (!downloaded)
            QFile::remove(local);
        // The disconnect after a download would also end a request that
        // another handler started meanwhile; that one is left to finish.
        if (!m_client->Busy())
            m_client->Disconnect();
        if (!quiet)
            m_controls.btnUpdate->unsetCursor();
        bool started = false;
        ErrorReporter::Run([&] { started = OfferUpdate(start, downloaded, local, site, quiet); });
        m_checkingUpdates = false;
        done(started);
    });
    return true;
}

bool TPublisherServices::OfferUpdate(const TWaitStart &start, bool downloaded, const QString &local,
                                     const QByteArray &site, bool quiet)
{
    if (downloaded && QFileInfo::exists(local)) {
        const TUpdateOffer offer = DecideUpdate(ReadDescription(local).version, AppVersion, LocaleDecimalSeparator());
        if (offer.offered) {
            if (m_messages.MessageDlg(offer.question, TMsgDlgType::mtInformation, mbOK | mbCancel) !=
                TModalResult::mrOk)
                return false;
            const QString updater = m_controls.appFolder + QLatin1String(UpdaterProgram);
            const QFileInfo updaterInfo(updater);
            if (!updaterInfo.isFile() || !updaterInfo.isExecutable()) {
                m_messages.MessageDlg(UpdaterMissingText, TMsgDlgType::mtWarning, mbOK);
                return false;
            }
            if (m_messages.MessageDlg(CloseToUpdateText, TMsgDlgType::mtInformation, mbOK | mbCancel) ==
                TModalResult::mrCancel)
                return false;
            // Whether the updater really started is not known here; the
            // window closes all the same so that it can replace the files.
            // It works in the application folder, not wherever the program
            // happened to be started from.
            QProcess::startDetached(updater, {FromAnsi(site), QString::fromLatin1(AppVersion), QStringLiteral("A")},
                                    m_controls.appFolder);
            m_controls.window->close();
            return true;
        }
    }
    // A window closed while the check waited is on its way out; telling its
    // user there is no update would only hold up the end of the program.
    if (!quiet && !ClosedMeanwhile(start))
        m_messages.MessageDlg(NoUpdatesText, TMsgDlgType::mtInformation, mbOK);
    return false;
}

// --- Banner and links ---

void TPublisherServices::ApplyBanner()
{
    const TBrandingSettings &s = BrandingSettings();
    QLabel *imgBanner = m_controls.imgBanner;
    QLabel *gifBanner = m_controls.gifBanner;
    QMovie *gifMovie = m_controls.gifMovie;
    QFrame *panBanner = m_controls.panBanner;
    for (QLabel *banner : {imgBanner, gifBanner}) {
        if (s.BannerLinkURL.isEmpty())
            banner->unsetCursor();
        else
            banner->setCursor(Qt::PointingHandCursor);
    }

    // The picture is read from bannerN.dat as it lies; its name only tells the
    // format. A picture that cannot be shown hides the bar, like a missing one.
    TBannerPicture picture;
    if (!s.BannerPicture.isEmpty())
        picture = ReadBannerPicture(m_controls.appFolder + BannerFileName(s.BannerNumber), s.BannerPicture);
    if (!picture.Ok) {
        gifMovie->stop();
        panBanner->hide();
        return;
    }

    if (picture.Kind == TBannerKind::Animated) {
        gifMovie->stop();
        auto *buffer = new QBuffer(gifMovie);
        buffer->setData(picture.Bytes);
        QIODevice *old = gifMovie->device();
        gifMovie->setFormat("gif");
        gifMovie->setDevice(buffer);
        if (old && old != buffer)
            old->deleteLater();
        imgBanner->hide();
        gifBanner->show();
        gifBanner->resize(picture.Image.size());
        gifMovie->start();
        panBanner->setFixedHeight(gifBanner->height() + 10);
    } else {
        gifMovie->stop();
        gifBanner->hide();
        imgBanner->show();
        imgBanner->setPixmap(QPixmap::fromImage(picture.Image));
        imgBanner->resize(picture.Image.size());
        panBanner->setFixedHeight(imgBanner->height() + 10);
    }
}

void TPublisherServices::ApplyLinks()
{
    const TBrandingSettings &s = BrandingSettings();
    m_controls.panLinks->setVisible(!s.Link1Caption.isEmpty());
    const std::pair<TLinkLabel *, std::pair<QByteArray, QByteArray>> links[] = {
        {m_controls.lblLink1URL, {s.Link1Caption, s.Link1URL}},
        {m_controls.lblLink2URL, {s.Link2Caption, s.Link2URL}},
    };
    for (const auto &[label, link] : links) {
        label->setTextFormat(Qt::PlainText);
        label->setText(FromAnsi(link.first));
        label->SetURL(link.second);
    }
}

void TPublisherServices::BannerClick()
{
    if (!BrandingSettings().BannerLinkURL.isEmpty())
        OpenPublisherAddress(m_messages, BrandingSettings().BannerLinkURL);
}

void TPublisherServices::MakeMoneyClick()
{
    OpenPublisherAddress(m_messages, BrandingSettings().AffiliateURL);
}

#pragma once

#include "util/string_list.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QFrame;
class QLabel;
class QMovie;
class QPushButton;
class QTimer;
class QToolButton;
class QWidget;
class THttpClient;
class TLinkLabel;
class TMessageHint;
class TMessageService;

// The controls of the main window that the publisher's services drive.
struct TPublisherControls
{
    QWidget *window = nullptr;
    TMessageService *messages = nullptr;
    QString appFolder; // with a trailing separator
    QTimer *newsTimer = nullptr;
    QToolButton *btnNews = nullptr;
    QToolButton *btnUpdate = nullptr;
    QFrame *panBanner = nullptr;
    QLabel *imgBanner = nullptr;
    QLabel *gifBanner = nullptr;
    QMovie *gifMovie = nullptr;
    QPushButton *btnMakeMoney = nullptr;
    QFrame *panLinks = nullptr;
    TLinkLabel *lblLink1URL = nullptr;
    TLinkLabel *lblLink2URL = nullptr;
};

// What the publisher offers through the main window: the news tick with its
// balloon, "Check News" with the news window, the update check with the
// hand-over to the updater, the banner and the links.
//
// Requests never hold up the window: each is started, and its outcome is
// shown when it arrives. A click or tick that comes while the same request
// still waits starts nothing; a window closed while a request waited shows
// nothing of its outcome.
class TPublisherServices : public QObject
{
    Q_OBJECT
public:
    explicit TPublisherServices(const TPublisherControls &controls);

    THttpClient &Client() const { return *m_client; }

    // --- News ---
    // One tick of the news timer: the latest news, its balloon when it is
    // newer than the last read, then the quiet update check; tickFinished()
    // tells when all that is done.
    void NewsTick();
    // "Check News": the list of news in the news window, or that there is
    // none; newsListFinished() follows once that is shown.
    void CheckNews();
    // The entries of the last "Check News".
    const TStringList &NewsList() const { return m_newsList; }
    // Shows the balloon with `text` pointing at the centre of btnNews.
    void ShowNewsBalloon(const QString &text);
    // Null until the first balloon.
    TMessageHint *NewsBalloon() const { return m_newsBalloon; }
    bool NewsBalloonShown() const;

    // --- Update check ---
    // `quiet` hides only the report that there is no update; checkFinished()
    // tells the outcome: true when the updater was started and the window
    // closed for it. A check asked for while one waits starts nothing.
    void CheckForUpdates(bool quiet);
    // The update site the check asks: the program's fixed one unless a test
    // has pointed it elsewhere.
    QByteArray UpdateSite() const;
    void SetUpdateBaseURL(const QByteArray &url) { m_updateBaseURL = url; }

    // --- Banner and links ---
    // Apply BrandingSettings and the publisher's files to the window.
    void ApplyBanner();
    void ApplyLinks();
    void BannerClick();
    void MakeMoneyClick();

    // The window is closing: every request ends, and nothing it waited for
    // is shown afterwards.
    void WindowClosing();

signals:
    void tickFinished();
    void newsListFinished();
    void checkFinished(bool started);

private:
    // Where a wait began: a window that was shown then and has been closed
    // since gets nothing more.
    struct TWaitStart
    {
        bool shown = false;
        int closes = 0;
    };
    TWaitStart StartWait() const;
    bool ClosedMeanwhile(const TWaitStart &start) const;

    void AfterLatestNews(const TWaitStart &start, bool found, const QByteArray &newsId, const QByteArray &title);
    void ShowNewsList(const TWaitStart &start, bool ok);
    // Starts the update check; false when one already waits. `done` then
    // comes on every path; a throw comes before anything was started.
    bool RunUpdateCheck(bool quiet, std::function<void(bool started)> done);
    bool OfferUpdate(const TWaitStart &start, bool downloaded, const QString &local, const QByteArray &site,
                     bool quiet);

    TPublisherControls m_controls;
    TMessageService &m_messages;
    THttpClient *m_client;
    TMessageHint *m_newsBalloon = nullptr;
    TStringList m_newsList;
    QByteArray m_updateBaseURL; // empty: the fixed update site
    int m_closes = 0;
    // A click or a tick that arrives while the same request still waits (the
    // window keeps handling input then) is not started a second time.
    bool m_fetchingNewsList = false;
    bool m_checkingUpdates = false;
};

// Opens a publisher's address in the user's browser; one that is not a web
// address is not handed on, and the user who clicked hears why.
void OpenPublisherAddress(TMessageService &messages, const QByteArray &url);

#pragma once

#include "site_origin.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QTimer;
class TBrowser;

// The address a log-in opens: the item's login address, or its website
// address when that is empty. `itemAddresses` are in the item's order:
// website, login, affiliate, cloaked. Empty when both are empty.
QString LoginStartAddress(const QStringList &itemAddresses);

// Why a log-in filled nothing on the page at `page`: it names the page's
// origin and the origins the log-in was for.
QString LoginRefusalText(const TSiteOrigin &page, const QStringList &allowedOrigins);

// Why a log-in could not even start: the item has no address to open.
QString LoginNoAddressText();

// How long a log-in may take.
struct TLoginLimits
{
    int armedMs = 30000;     // from the click, for the whole log-in
    int fieldWaitMs = 10000; // for fields a page's script makes after a load
    int pollMs = 250;
};

// One click on "Log In": opens the item's login page in the browser and, once
// it has loaded, fills the user name and password into its log-in form and
// submits it; a page that asks for the user name first is followed to the
// next, and a one-time code goes into the field for it after the password.
//
// Nothing is filled but on a page of the site of one of the item's addresses
// (IsSameSite), and from the first page filled on only on that page's very
// origin; a page anywhere else ends the log-in with refused(). Only LogIn
// arms it, for that item and for a limited time, so pages the user opens
// otherwise are never filled. The values go only into the page's fields,
// through a script in a world of its own (web/login_fill.js).
class TLoginFill : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Submitted, // the last form was sent
        Filled,    // filled, but left for the user to send
        NotFound,  // no log-in form came in time
        Refused,   // a page of another site; refused() told why
        Expired,   // the time a click arms it for ran out
        Cancelled, // another log-in or Cancel
    };
    Q_ENUM(Outcome)

    // The current one-time code of the item, empty when it has none.
    using TCodeSource = std::function<QString()>;

    TLoginFill(TBrowser &browser, QObject *parent = nullptr, TLoginLimits limits = TLoginLimits());
    ~TLoginFill() override;

    // Starts a log-in for the item; false (after refused()) when it has no
    // address to open. The browser's failure to navigate is raised.
    bool LogIn(const QStringList &itemAddresses, const QString &userName, const QString &password,
               TCodeSource code = {});
    // Ends a log-in under way; nothing more goes into any page.
    void Cancel();
    bool Armed() const { return m_armed; }

Q_SIGNALS:
    void refused(const QString &message);
    void ended(TLoginFill::Outcome outcome);

private Q_SLOTS:
    void OnLoadFinished(bool ok);

private:
    enum class Stage { Login, Password, Code };

    void Poll();
    void OnStep(const QString &answer);
    void Finish(Outcome outcome);
    bool Allowed(const TSiteOrigin &page) const;

    TBrowser &m_browser;
    TLoginLimits m_limits;
    QTimer *m_poll;
    QTimer *m_expiry;
    bool m_armed = false;
    // Bumped whenever a log-in ends or starts: answers of older steps are
    // dropped.
    quint64 m_generation = 0;
    bool m_stepRunning = false;
    bool m_waitingForButton = false; // the last step filled a form whose button is disabled
    QElapsedTimer m_stepStarted;
    QElapsedTimer m_waitStarted;

    QStringList m_itemAddresses;
    QString m_userName;
    QString m_password;
    TCodeSource m_code;
    Stage m_stage = Stage::Login;
    TSiteOrigin m_pinned; // the origin of the first page filled
};

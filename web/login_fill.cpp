#include "login_fill.h"

#include "util/web_engine_parts.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QWidget>

namespace {

// A step that has not answered in this time was lost with its page; the
// next one is started anyway.
constexpr int kLostStepMs = 3000;
// How long a page may take to show the password field its user-name form
// already holds before that form counts as asking for the user name alone.
constexpr int kSettleMs = 1500;

const QString &StepFunction()
{
    static const QString source = [] {
        QFile file(QStringLiteral(":/web/login_fill.js"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("the log-in script is missing from the program's resources");
        return QString::fromUtf8(file.readAll());
    }();
    return source;
}

QStringList ValidOrigins(const QStringList &addresses)
{
    QStringList origins;
    for (const QString &address : addresses) {
        const TSiteOrigin origin = OriginOfAddress(address);
        if (origin.IsValid() && !origins.contains(origin.Text()))
            origins << origin.Text();
    }
    return origins;
}

} // namespace

QString LoginStartAddress(const QStringList &itemAddresses)
{
    const QString login = itemAddresses.value(1).trimmed();
    return login.isEmpty() ? itemAddresses.value(0).trimmed() : login;
}

QString LoginRefusalText(const TSiteOrigin &page, const QStringList &allowedOrigins)
{
    const QString shownPage = page.IsValid() ? page.Text() : QStringLiteral("(no host)");
    const QString shownAllowed =
        allowedOrigins.isEmpty() ? QStringLiteral("no host at all") : allowedOrigins.join(QStringLiteral(", "));
    return QStringLiteral("Log In filled nothing: the page shown is on %1, but this log-in is for %2.")
        .arg(shownPage, shownAllowed);
}

QString LoginNoAddressText()
{
    return QStringLiteral("Log In has nothing to open: this item has no login address and no website address.");
}

TLoginFill::TLoginFill(TBrowser &browser, QObject *parent, TLoginLimits limits)
    : QObject(parent), m_browser(browser), m_limits(limits), m_poll(new QTimer(this)), m_expiry(new QTimer(this))
{
    setObjectName(QStringLiteral("LoginFill"));
    m_poll->setInterval(m_limits.pollMs);
    connect(m_poll, &QTimer::timeout, this, &TLoginFill::Poll);
    m_expiry->setSingleShot(true);
    connect(m_expiry, &QTimer::timeout, this, [this] { Finish(Outcome::Expired); });
    // By name: the browser's class may live in the engine plugin.
    if (QWidget *widget = browser.Widget())
        connect(widget, SIGNAL(loadFinished(bool)), this, SLOT(OnLoadFinished(bool)));
}

TLoginFill::~TLoginFill() = default;

bool TLoginFill::LogIn(const QStringList &itemAddresses, const QString &userName, const QString &password,
                       TCodeSource code)
{
    if (m_armed)
        Finish(Outcome::Cancelled);
    const QString address = LoginStartAddress(itemAddresses);
    if (address.isEmpty()) {
        Q_EMIT refused(LoginNoAddressText());
        return false;
    }
    ++m_generation;
    m_itemAddresses = itemAddresses;
    m_userName = userName;
    m_password = password;
    m_code = std::move(code);
    m_stage = Stage::Login;
    m_pinned = TSiteOrigin();
    m_stepRunning = false;
    m_waitingForButton = false;
    m_armed = true;
    m_expiry->start(m_limits.armedMs);
    try {
        if (m_browser.Busy())
            m_browser.Stop();
        m_browser.Navigate(address);
    } catch (...) {
        Finish(Outcome::Cancelled);
        throw;
    }
    return true;
}

void TLoginFill::Cancel()
{
    if (m_armed)
        Finish(Outcome::Cancelled);
}

bool TLoginFill::Allowed(const TSiteOrigin &page) const
{
    if (m_pinned.IsValid())
        return page == m_pinned;
    for (const QString &address : m_itemAddresses)
        if (IsSameSite(OriginOfAddress(address), page))
            return true;
    return false;
}

void TLoginFill::OnLoadFinished(bool ok)
{
    // A load that failed or was stopped has nothing to fill; the log-in
    // waits for the next one while it is armed.
    if (!m_armed || !ok)
        return;
    const TSiteOrigin page = OriginOf(m_browser.Url());
    if (!Allowed(page)) {
        Q_EMIT refused(LoginRefusalText(page, m_pinned.IsValid() ? QStringList{m_pinned.Text()}
                                                                 : ValidOrigins(m_itemAddresses)));
        Finish(Outcome::Refused);
        return;
    }
    m_pinned = page;
    m_waitStarted.start();
    m_poll->start();
    Poll();
}

void TLoginFill::Poll()
{
    if (!m_armed)
        return;
    if (m_waitStarted.hasExpired(m_limits.fieldWaitMs)) {
        // A button the page never enabled leaves its form filled for the
        // user; after the password, a site that asks for no code (a device
        // it knows) has still been logged into.
        Finish(m_waitingForButton    ? Outcome::Filled
               : m_stage == Stage::Code ? Outcome::Submitted
                                        : Outcome::NotFound);
        return;
    }
    if (m_stepRunning && !m_stepStarted.hasExpired(kLostStepMs))
        return;
    // A page on its way out, or already another page, gets nothing: the
    // next load decides again.
    if (m_browser.Busy() || OriginOf(m_browser.Url()) != m_pinned)
        return;

    QJsonObject job;
    job.insert(QStringLiteral("origin"), m_pinned.Text());
    job.insert(QStringLiteral("settled"), m_waitStarted.hasExpired(kSettleMs));
    switch (m_stage) {
    case Stage::Login:
        job.insert(QStringLiteral("stage"), QStringLiteral("login"));
        break;
    case Stage::Password:
        job.insert(QStringLiteral("stage"), QStringLiteral("password"));
        break;
    case Stage::Code:
        job.insert(QStringLiteral("stage"), QStringLiteral("code"));
        break;
    }
    if (m_stage != Stage::Code) {
        job.insert(QStringLiteral("user"), m_userName);
        job.insert(QStringLiteral("password"), m_password);
    }
    if (m_code)
        job.insert(QStringLiteral("code"), m_code());
    const QString source = StepFunction() + u'(' +
                           QString::fromUtf8(QJsonDocument(job).toJson(QJsonDocument::Compact)) +
                           QStringLiteral(");");

    m_stepRunning = true;
    m_stepStarted.start();
    const quint64 generation = m_generation;
    QPointer<TLoginFill> self(this);
    m_browser.RunIsolatedScript(source, [self, generation](const QVariant &answer) {
        if (self && self->m_armed && self->m_generation == generation) {
            self->m_stepRunning = false;
            self->OnStep(answer.toString());
        }
    });
}

void TLoginFill::OnStep(const QString &answer)
{
    m_waitingForButton = answer == u"wait-submit";
    if (answer == u"submitted-user") {
        m_stage = Stage::Password;
        m_waitStarted.start();
    } else if (answer == u"submitted-password") {
        // The password has gone where it belongs; it is not kept for a page
        // that has no use for it.
        m_password.clear();
        const bool hasCode = m_code && !m_code().isEmpty();
        if (!hasCode) {
            Finish(Outcome::Submitted);
            return;
        }
        m_stage = Stage::Code;
        m_waitStarted.start();
    } else if (answer == u"submitted-code") {
        Finish(Outcome::Submitted);
    } else if (answer == u"filled") {
        Finish(Outcome::Filled);
    }
    // "none", "wait-submit", "other-origin", "error": the next poll tries
    // again until the fields' time is up.
}

void TLoginFill::Finish(Outcome outcome)
{
    m_armed = false;
    ++m_generation;
    m_poll->stop();
    m_expiry->stop();
    m_stepRunning = false;
    m_waitingForButton = false;
    m_userName.clear();
    m_password.clear();
    m_code = {};
    m_itemAddresses.clear();
    m_pinned = TSiteOrigin();
    Q_EMIT ended(outcome);
}

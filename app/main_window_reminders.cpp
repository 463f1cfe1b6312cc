// Payment reminders, and the window's size, position and splitters kept per
// application folder (tarnwick.ini).
#include "main_window.h"

#include "book/account_book.h"
#include "book/payment_days.h"
#include "payments_window.h"
#include "publisher_services.h"
#include "services/message_hint.h"
#include "util/error_reporter.h"
#include "util/window_place.h"

#include <QBoxLayout>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

namespace {

// How often a reminder waiting for the news balloon looks whether it closed.
constexpr int kNewsBalloonPollMs = 300;

// A small calendar page: the button sits among the picture buttons.
QIcon ReminderIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x4a, 0x55, 0x66);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(4.5, 7.5, 23, 20), 3, 3);
    p.fillRect(QRectF(5.5, 8.5, 21, 5), QColor(0xc0, 0x39, 0x2b));
    p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 4.5), QPointF(11, 10));
    p.drawLine(QPointF(21, 4.5), QPointF(21, 10));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            p.fillRect(QRectF(8 + col * 4.5, 16 + row * 3.5, 2.5, 2), ink);
    return QIcon(pixmap);
}

// The work areas of the screens, the primary one first.
QList<QRect> ScreenAreas()
{
    QList<QRect> areas;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        areas << primary->availableGeometry();
    for (QScreen *screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            areas << screen->availableGeometry();
    return areas;
}

} // namespace

void TfrmMain::SetUpRemindersAndLayout()
{
    if (!m_today)
        m_today = [] { return QDate::currentDate(); };

    btnReminders = new QToolButton(bsSkinPanel1);
    btnReminders->setObjectName(QStringLiteral("btnReminders"));
    btnReminders->setIcon(ReminderIcon());
    btnReminders->setIconSize(QSize(24, 24));
    btnReminders->setToolTip(QStringLiteral("Payment Reminders"));
    btnReminders->setFixedSize(btnNews->size());
    btnReminders->setFocusPolicy(Qt::TabFocus);
    // Left of the right-anchored picture buttons, so none of them moves.
    if (auto *bar = qobject_cast<QBoxLayout *>(bsSkinPanel1->layout()))
        bar->insertWidget(bar->indexOf(btnNews), btnReminders);

    m_windowState = TWindowSettings(AppFolder()).Load();
    connect(btnReminders, &QToolButton::clicked, this, Guarded(this, &TfrmMain::ShowPayments));
    // The tick's requests run on after its handler: the reminder waits until
    // the news balloon and the quiet update check are done.
    connect(m_services, &TPublisherServices::tickFinished, this, Guarded(this, &TfrmMain::RemindAfterNews));

    RestoreWindowLayout();
}

void TfrmMain::RemindAfterNews()
{
    if (!isVisible())
        return; // closed while the tick's requests waited
    if (!m_services->NewsBalloonShown()) {
        ShowPaymentReminder();
        return;
    }
    // One balloon at a time: the news is read first, and closing it (any key,
    // click or wheel) brings the reminder.
    if (!m_newsBalloonWait) {
        m_newsBalloonWait = new QTimer(this);
        m_newsBalloonWait->setInterval(kNewsBalloonPollMs);
        connect(m_newsBalloonWait, &QTimer::timeout, this, [this] {
            if (m_services->NewsBalloonShown())
                return;
            m_newsBalloonWait->stop();
            if (isVisible())
                ErrorReporter::Run([this] { ShowPaymentReminder(); });
        });
    }
    m_newsBalloonWait->start();
}

void TfrmMain::ShowPaymentReminder()
{
    const QDate today = m_today();
    if (!ReminderDue(m_windowState.remindersOn, m_windowState.lastReminder, today))
        return;
    const QString text = BookReminderText(Book(), today);
    if (text.isEmpty())
        return; // a day with nothing due is not used up: an item added later still reminds
    m_windowState.lastReminder = today;
    // A folder that cannot be written only means the reminder comes again at
    // the next start.
    TWindowSettings(AppFolder()).Save(m_windowState);
    ShowReminderBalloon(text);
}

void TfrmMain::ShowReminderBalloon(const QString &text)
{
    if (!hntReminders) {
        hntReminders = new TMessageHint(this);
        hntReminders->setObjectName(QStringLiteral("hntReminders"));
        connect(hntReminders, &TMessageHint::clicked, this, Guarded(this, &TfrmMain::ShowPayments));
    }
    hntReminders->ShowMessage(text, btnReminders->mapToGlobal(btnReminders->rect().center()));
}

void TfrmMain::ShowReminderAgain()
{
    // Asked for by the user: neither the switch nor the day already used
    // keeps it back.
    const QDate today = m_today();
    const QString text = BookReminderText(Book(), today);
    if (text.isEmpty())
        return;
    if (m_windowState.lastReminder != today) {
        m_windowState.lastReminder = today;
        TWindowSettings(AppFolder()).Save(m_windowState);
    }
    ShowReminderBalloon(text);
}

void TfrmMain::ShowPayments()
{
    if (!m_payments) {
        m_payments = new TPaymentsWindow(Book(), [this] { return m_today(); }, this);
        connect(m_payments, &TPaymentsWindow::recordChosen, this, Guarded(this, &TfrmMain::PaymentChosen));
        connect(m_payments, &TPaymentsWindow::remindersSwitched, this, Guarded(this, &TfrmMain::RemindersSwitched));
        connect(m_payments, &TPaymentsWindow::reminderRequested, this, Guarded(this, &TfrmMain::ShowReminderAgain));
    }
    m_payments->SetRemindersOn(m_windowState.remindersOn);
    if (m_payments->isVisible())
        m_payments->Refresh();
    m_payments->show();
    m_payments->raise();
    m_payments->activateWindow();
}

void TfrmMain::PaymentChosen(qsizetype record)
{
    const QModelIndex node = Book().IndexOfRecord(record);
    if (!node.isValid())
        return;
    pgcPrinc->setCurrentWidget(stsMain);
    SelectNode(node);
    activateWindow();
}

void TfrmMain::RemindersSwitched(bool on)
{
    m_windowState.remindersOn = on;
    if (!on && hntReminders)
        hntReminders->HideMessage();
    const TWindowSettings settings(AppFolder());
    if (!settings.Save(m_windowState))
        msgMain->MessageDlg(QStringLiteral("The reminder setting could not be stored in %1. "
                                           "It holds until the program is closed.")
                                .arg(QDir::toNativeSeparators(settings.Path())),
                            TMsgDlgType::mtWarning, mbOK);
}

void TfrmMain::RestoreWindowLayout()
{
    // The layout sets the window's smallest size only when first shown; a
    // size stored below it (or above the screen) is corrected now.
    if (m_windowState.geometry.isValid())
        setGeometry(FitOntoScreens(m_windowState.geometry, ScreenAreas(), minimumSize().expandedTo(minimumSizeHint())));
    const QList<QSplitter *> splitters = stsMain->findChildren<QSplitter *>();
    for (QSplitter *splitter : splitters) {
        const QList<int> sizes = m_windowState.splitters.value(splitter->objectName());
        if (!splitter->objectName().isEmpty() && sizes.size() == splitter->count())
            splitter->setSizes(sizes);
    }
    if (m_windowState.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TfrmMain::SaveWindowLayout()
{
    if (!isVisible())
        return; // never shown: nothing the user arranged
    const bool normal = !(isMaximized() || isMinimized() || isFullScreen());
    m_windowState.geometry = normal ? geometry() : normalGeometry();
    m_windowState.maximized = isMaximized();
    m_windowState.splitters.clear();
    const QList<QSplitter *> splitters = stsMain->findChildren<QSplitter *>();
    for (QSplitter *splitter : splitters)
        if (!splitter->objectName().isEmpty())
            m_windowState.splitters.insert(splitter->objectName(), splitter->sizes());
    // The layout is a convenience: a folder that cannot be written keeps the
    // default one and says nothing at every close.
    TWindowSettings(AppFolder()).Save(m_windowState);
}

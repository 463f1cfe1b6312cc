#include "book_lock_controller.h"

#include "item_editor.h"
#include "master_password.h"

#include "book/account_book.h"
#include "book/book_folder.h"
#include "book/protected_book.h"
#include "settings/window_settings.h"
#include "util/error_reporter.h"
#include "util/message_service.h"
#include "util/secret_clipboard.h"
#include "web/browser_panel.h"

#ifdef TARNWICK_HAVE_DBUS
#include <QDBusConnection>
#endif

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

namespace {

// How often the idle rule is asked; a lock comes at most this late.
constexpr int kIdleCheckMs = 15000;

TIdleLock::Clock SteadyClock()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

QAction *MenuAction(const char *name, const QString &text, const QString &hint, QObject *parent)
{
    auto *a = new QAction(text, parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setStatusTip(hint);
    a->setToolTip(hint);
    return a;
}

QString FileList(const QStringList &files)
{
    QStringList shown;
    for (const QString &f : files)
        shown << QDir::toNativeSeparators(f);
    return shown.join(u'\n');
}

bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        return true;
    default:
        return false;
    }
}

} // namespace

QString LogindSessionPath(const QString &id)
{
    if (id.isEmpty() || id.size() > 64)
        return {};
    // logind spells the id as a D-Bus path element: letters and digits as
    // they are, a leading digit and anything else as "_" and its hex code.
    QString element;
    const QByteArray bytes = id.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (letter || (digit && i > 0))
            element += QLatin1Char(c);
        else
            element += QStringLiteral("_%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("/org/freedesktop/login1/session/") + element;
}

TBookLockController::TBookLockController(TParts parts, QObject *parent)
    : QObject(parent), m_parts(std::move(parts)), m_idle(SteadyClock())
{
    setObjectName(QStringLiteral("BookLockController"));
    const TBookLockSettings settings = TWindowSettings(m_parts.folder->Folder()).LoadBookLock();
    m_idle.SetMinutes(settings.idleMinutes);

    // Laid over the pages rather than in their place: hidden pages would
    // never be laid out, and a window closed before it was unlocked would
    // keep its panes' sizes as such pages have them.
    m_page = new TUnlockPage(m_parts.window);
    m_page->setAutoFillBackground(true);
    m_page->hide();
    connect(m_page, &TUnlockPage::unlockRequested, this, Guarded(this, &TBookLockController::Unlock));
    connect(m_page, &TUnlockPage::quitRequested, m_parts.window, &QWidget::close);

    m_lock = MenuAction("actLock", QStringLiteral("Lock"),
                        QStringLiteral("Lock the protected book: nothing of it is shown until its master "
                                       "password is given again"),
                        this);
    m_lock->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    m_parts.window->addAction(m_lock);
    m_protect = MenuAction("actProtectBook", QStringLiteral("Protect Book\u2026"),
                           QStringLiteral("Keep the account book encrypted under a master password"), this);
    m_change = MenuAction("actChangeMasterPassword", QStringLiteral("Change Master Password\u2026"),
                          QStringLiteral("Give the protected book a new master password"), this);
    m_remove = MenuAction("actRemoveProtection", QStringLiteral("Remove Protection\u2026"),
                          QStringLiteral("Keep the account book in plain files again"), this);
    m_autoLock = MenuAction("actAutoLock", QStringLiteral("Auto-Lock\u2026"),
                            QStringLiteral("Choose after how many idle minutes the protected book locks itself"), this);
    // Beside the other book commands, before the item section.
    QAction *before = nullptr;
    for (QAction *a : m_parts.menu->actions())
        if (a->isSeparator() && a->text() == QLatin1String("Item"))
            before = a;
    m_parts.menu->insertActions(before, {m_lock, m_protect, m_change, m_remove, m_autoLock});
    connect(m_lock, &QAction::triggered, this, [this] { ErrorReporter::Run([this] { Lock(); }); });
    connect(m_protect, &QAction::triggered, this, Guarded(this, &TBookLockController::ProtectBook));
    connect(m_change, &QAction::triggered, this, Guarded(this, &TBookLockController::ChangeMasterPassword));
    connect(m_remove, &QAction::triggered, this, Guarded(this, &TBookLockController::RemoveProtection));
    connect(m_autoLock, &QAction::triggered, this, Guarded(this, &TBookLockController::ChooseIdleMinutes));

    m_idleTimer = new QTimer(this);
    m_idleTimer->setObjectName(QStringLiteral("tmrIdleLock"));
    m_idleTimer->setInterval(kIdleCheckMs);
    connect(m_idleTimer, &QTimer::timeout, this, [this] { ErrorReporter::Run([this] { CheckIdle(); }); });
    qApp->installEventFilter(this);
    // Typing saved or dropped lets a lock that waited for it come now; not
    // from inside the store, whose save is still to follow.
    connect(m_parts.editor, &TItemEditor::modifiedChanged, this, [this](bool modified) {
        if (!modified)
            QTimer::singleShot(0, this, [this] { ErrorReporter::Run([this] { CheckIdle(); }); });
    });
    WatchSession();

    m_offerDue = HasNoBook(m_parts.folder->Folder()) && !settings.protectOfferDeclined;
    if (m_parts.folder->IsLocked())
        ShowLocked();
    else
        ShowUnlocked();
}

bool TBookLockController::IsLocked() const
{
    return m_parts.folder->IsLocked();
}

bool TBookLockController::Lock()
{
    if (!m_parts.folder->IsProtected() || IsLocked())
        return IsLocked();
    if (m_parts.editor->IsModified() && !m_parts.settleTyping())
        return false;
    // The search is emptied while the tree still has its book, so what it
    // brings back is of no book at all once the book is gone.
    m_parts.search->clear();
    m_parts.folder->Lock();
    ShowLocked();
    return true;
}

bool TBookLockController::CheckIdle()
{
    if (!m_parts.folder->IsProtected() || IsLocked()) {
        m_sessionLocked = false;
        return false;
    }
    const bool typing = m_parts.editor->IsModified();
    if (!m_idle.Due(typing) && !(m_sessionLocked && !typing))
        return false;
    m_sessionLocked = false;
    return Lock();
}

void TBookLockController::SessionLocked()
{
    m_sessionLocked = true;
    CheckIdle();
}

void TBookLockController::screenSaverActiveChanged(bool active)
{
    if (active)
        ErrorReporter::Run([this] { SessionLocked(); });
}

void TBookLockController::logindLock()
{
    ErrorReporter::Run([this] { SessionLocked(); });
}

void TBookLockController::WatchSession()
{
#ifdef TARNWICK_HAVE_DBUS
    // Any sender: each desktop's screen saver has a name of its own.
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        session.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"), this,
                        SLOT(screenSaverActiveChanged(bool)));
        session.connect(QString(), QStringLiteral("/org/gnome/ScreenSaver"), QStringLiteral("org.gnome.ScreenSaver"),
                        QStringLiteral("ActiveChanged"), this, SLOT(screenSaverActiveChanged(bool)));
    }
    const QString path = LogindSessionPath(qEnvironmentVariable("XDG_SESSION_ID"));
    QDBusConnection system = QDBusConnection::systemBus();
    if (!path.isEmpty() && system.isConnected())
        system.connect(QStringLiteral("org.freedesktop.login1"), path, QStringLiteral("org.freedesktop.login1.Session"),
                       QStringLiteral("Lock"), this, SLOT(logindLock()));
#endif
}

void TBookLockController::SetClock(TIdleLock::Clock clock)
{
    const int minutes = m_idle.Minutes();
    m_idle = TIdleLock(std::move(clock));
    m_idle.SetMinutes(minutes);
    m_idle.Touch();
}

bool TBookLockController::eventFilter(QObject *watched, QEvent *event)
{
    if (IsInput(event->type()))
        m_idle.Touch();
    else if (watched == m_parts.window && event->type() == QEvent::Resize)
        m_page->setGeometry(m_parts.window->rect());
    return QObject::eventFilter(watched, event);
}

void TBookLockController::ShowLocked()
{
    m_parts.editor->SetModified(false);
    m_parts.editor->Clear();
    m_parts.editor->SetFieldsEnabled(false);
    m_parts.search->clear();
    m_parts.clipboard->ClearIfStillOurs();
    m_parts.address->clear();
    // A page of one of the book's sites may show the user's account.
    if (const QUrl url = m_parts.browser->Url(); url.isValid() && url.scheme() != QLatin1String("about"))
        ErrorReporter::Run([this] { m_parts.browser->Navigate(QStringLiteral("about:blank")); });
    m_idleTimer->stop();
    m_parts.pages->setEnabled(false);
    m_page->setGeometry(m_parts.window->rect());
    m_page->show();
    m_page->raise();
    m_page->Ready();
    UpdateActions();
}

void TBookLockController::ShowUnlocked()
{
    m_page->hide();
    m_parts.pages->setEnabled(true);
    m_parts.editor->SetBookText(m_parts.folder->Book().Text());
    m_idle.Touch();
    StartIdleTimer();
    UpdateActions();
}

void TBookLockController::StartIdleTimer()
{
    if (m_parts.folder->IsProtected() && !IsLocked() && m_idle.Minutes() > 0)
        m_idleTimer->start();
    else
        m_idleTimer->stop();
}

void TBookLockController::ChooseIdleMinutes()
{
    int minutes = m_idle.Minutes();
    {
        TfrmAutoLock dialog(m_parts.window);
        if (!dialog.Ask(&minutes))
            return;
    }
    const TWindowSettings settings(m_parts.folder->Folder());
    TBookLockSettings lock = settings.LoadBookLock();
    lock.idleMinutes = minutes;
    if (!settings.SaveBookLock(lock))
        m_parts.messages->MessageDlg(QStringLiteral("The setting could not be saved in \"%1\"; it holds until the "
                                                    "program ends.")
                                         .arg(QDir::toNativeSeparators(settings.Path())),
                                     TMsgDlgType::mtWarning, mbOK);
    m_idle.SetMinutes(minutes);
    m_idle.Touch();
    StartIdleTimer();
}

void TBookLockController::UpdateActions()
{
    const bool isProtected = m_parts.folder->IsProtected();
    const bool locked = IsLocked();
    m_lock->setVisible(isProtected);
    m_lock->setEnabled(isProtected && !locked);
    m_protect->setVisible(!isProtected);
    m_protect->setEnabled(!isProtected);
    m_change->setVisible(isProtected);
    m_change->setEnabled(isProtected && !locked);
    m_remove->setVisible(isProtected);
    m_remove->setEnabled(isProtected && !locked);
    m_autoLock->setVisible(isProtected);
    m_autoLock->setEnabled(isProtected && !locked);
}

void TBookLockController::Unlock()
{
    QByteArray password = m_page->TakePassword();
    if (password.isEmpty()) {
        m_parts.messages->MessageDlg(QStringLiteral("Please enter the master password."), TMsgDlgType::mtWarning,
                                     mbOK);
        m_page->Ready();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TBookFolder::TUnlock unlock = m_parts.folder->Unlock(password);
    QApplication::restoreOverrideCursor();
    WipeBytes(password);
    if (!unlock.Ok()) {
        m_parts.messages->MessageDlg(unlock.error, TMsgDlgType::mtError, mbOK);
        m_page->Ready();
        return;
    }
    ShowUnlocked();
    m_parts.bookChanged();
}

bool TBookLockController::AskAndProtect()
{
    QByteArray password;
    {
        TfrmMasterPassword dialog(TfrmMasterPassword::TMode::Protect, *m_parts.messages, m_parts.window);
        if (!dialog.Ask(nullptr, &password))
            return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TProtection done = ::ProtectBook(*m_parts.folder, password, KdfForProtecting());
    QApplication::restoreOverrideCursor();
    WipeBytes(password);
    if (!done.error.isEmpty()) {
        m_parts.messages->MessageDlg(done.error, TMsgDlgType::mtError, mbOK);
        return false;
    }
    ShowUnlocked();
    m_parts.bookChanged();
    OfferRemoval(QStringLiteral("The account book is protected now and reads back whole from \"%1\".\n\n"
                                "These files still hold every password in clear text. Do you want to "
                                "remove them?")
                     .arg(QDir::toNativeSeparators(m_parts.folder->ProtectedPath())),
                 done.removable);
    return true;
}

void TBookLockController::ProtectBook()
{
    if (m_parts.folder->IsProtected() || !m_parts.settleTyping())
        return;
    AskAndProtect();
}

void TBookLockController::ChangeMasterPassword()
{
    if (!m_parts.folder->IsProtected() || IsLocked() || !m_parts.settleTyping())
        return;
    QByteArray current;
    QByteArray chosen;
    {
        TfrmMasterPassword dialog(TfrmMasterPassword::TMode::Change, *m_parts.messages, m_parts.window);
        if (!dialog.Ask(&current, &chosen))
            return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TProtection done = ::ChangeMasterPassword(*m_parts.folder, current, chosen, KdfForProtecting());
    QApplication::restoreOverrideCursor();
    WipeBytes(current);
    WipeBytes(chosen);
    if (!done.error.isEmpty()) {
        m_parts.messages->MessageDlg(done.error, TMsgDlgType::mtError, mbOK);
        return;
    }
    ShowUnlocked();
    m_parts.bookChanged();
    OfferRemoval(QStringLiteral("The master password is changed.\n\nThese backups open with the earlier "
                                "master password. Do you want to remove them?"),
                 done.removable);
}

void TBookLockController::RemoveProtection()
{
    if (!m_parts.folder->IsProtected() || IsLocked() || !m_parts.settleTyping())
        return;
    const QList<TUnstorable> unstorable = FindUnstorable(m_parts.folder->Book());
    QString question;
    if (unstorable.isEmpty()) {
        question = QStringLiteral("Do you want to remove the protection? The account book goes back to "
                                  "categories.dat and items.dat, which anyone who can read the folder can read.");
    } else {
        QStringList lines;
        for (const TUnstorable &u : unstorable)
            lines << DescribeUnstorable(u);
        question = QStringLiteral("The plain files cannot hold this text of the book:\n\n%1\n\n"
                                  "Do you want to remove the protection and store each such character as \"?\"? "
                                  "The text is changed for good.")
                       .arg(lines.join(u'\n'));
    }
    if (m_parts.messages->MessageDlg(question, TMsgDlgType::mtWarning, TMsgDlgButtons(mbYes) | mbNo)
        != TModalResult::mrYes)
        return;
    const TProtection done = UnprotectBook(*m_parts.folder, !unstorable.isEmpty());
    if (!done.error.isEmpty()) {
        m_parts.messages->MessageDlg(done.error, TMsgDlgType::mtError, mbOK);
        return;
    }
    ShowUnlocked();
    m_parts.bookChanged();
    OfferRemoval(QStringLiteral("The protection is removed.\n\nThese encrypted backups open only with the "
                                "master password. Do you want to remove them?"),
                 done.removable);
}

void TBookLockController::OfferRemoval(const QString &question, const QStringList &files)
{
    if (files.isEmpty())
        return;
    if (m_parts.messages->MessageDlg(question + QStringLiteral("\n\n") + FileList(files), TMsgDlgType::mtConfirmation,
                                     TMsgDlgButtons(mbYes) | mbNo)
        != TModalResult::mrYes)
        return;
    if (const QString error = RemoveFiles(files); !error.isEmpty())
        m_parts.messages->MessageDlg(error, TMsgDlgType::mtError, mbOK);
}

void TBookLockController::OfferProtectionAtStart()
{
    if (!m_offerDue)
        return;
    m_offerDue = false;
    ErrorReporter::Run([this] { OfferProtection(); });
}

void TBookLockController::OfferProtection()
{
    if (!HasNoBook(m_parts.folder->Folder()) || m_parts.folder->IsProtected())
        return;
    const TModalResult answer = m_parts.messages->MessageDlg(
        QStringLiteral("This folder holds no account book yet. Do you want to protect the new book with a master "
                       "password? Its file is then encrypted, and nobody who can read the folder can read the "
                       "book without it.\n\nNo: not now; \"Protect Book\u2026\" in the Menu does it later."),
        TMsgDlgType::mtConfirmation, TMsgDlgButtons(mbYes) | mbNo);
    if (answer == TModalResult::mrYes) {
        AskAndProtect();
        return;
    }
    if (answer != TModalResult::mrNo)
        return;
    const TWindowSettings settings(m_parts.folder->Folder());
    TBookLockSettings lock = settings.LoadBookLock();
    lock.protectOfferDeclined = true;
    settings.SaveBookLock(lock);
}

#pragma once

#include "book/idle_lock.h"

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QLineEdit;
class QMenu;
class QWidget;
class TBookFolder;
class TBrowserPanel;
class TItemEditor;
class TMessageService;
class TSecretClipboard;
class TUnlockPage;

// The object path logind gives the session `id` ($XDG_SESSION_ID), whose
// Lock signal locks the book; empty for no session.
QString LogindSessionPath(const QString &id);

// The protected book in the window: the unlock page of a locked book, Lock
// (Ctrl+L) and the lock after idle minutes, and the menu's Protect Book,
// Change Master Password and Remove Protection. The rules are the book's
// (book/protected_book.h, book/idle_lock.h); this asks the user and puts the
// window in the state that follows.
class TBookLockController : public QObject
{
    Q_OBJECT
public:
    struct TParts
    {
        QWidget *window = nullptr;
        QWidget *pages = nullptr; // what the unlock page covers
        TBookFolder *folder = nullptr;
        TItemEditor *editor = nullptr;
        QLineEdit *search = nullptr;
        QLineEdit *address = nullptr;
        TBrowserPanel *browser = nullptr;
        TSecretClipboard *clipboard = nullptr;
        TMessageService *messages = nullptr;
        QMenu *menu = nullptr;
        // The save question for typing in the editor; false when the user
        // kept it.
        std::function<bool()> settleTyping;
        // The folder loaded another book (unlocked, protected, unprotected):
        // the window shows it afresh.
        std::function<void()> bookChanged;
    };
    TBookLockController(TParts parts, QObject *parent);

    bool IsLocked() const;
    // Lock asks about unsaved typing first; true when the window is locked.
    bool Lock();
    // The idle rule's verdict now: locks when due and no typing is unsaved.
    bool CheckIdle();
    // The desktop session locked (its screen saver or logind said so over
    // D-Bus): locks as the idle minutes do, after typing is saved or dropped.
    void SessionLocked();
    // At the program's start, once its window stands: a folder that held no
    // book file of either kind when the window was made is offered to
    // protect its new book, unless the user said "not now" there before.
    void OfferProtectionAtStart();
    // Tests hand in a clock of their own; the idle time starts anew.
    void SetClock(TIdleLock::Clock clock);

private slots:
    void screenSaverActiveChanged(bool active);
    void logindLock();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Unlock();
    void ProtectBook();
    void ChangeMasterPassword();
    void RemoveProtection();
    void OfferProtection();
    void ChooseIdleMinutes();
    void StartIdleTimer();
    // Protects the folder's book after asking for its password; false when
    // the user gave up or it failed (told).
    bool AskAndProtect();
    void OfferRemoval(const QString &question, const QStringList &files);
    void ShowLocked();
    void ShowUnlocked();
    void UpdateActions();
    void WatchSession();

    TParts m_parts;
    TUnlockPage *m_page = nullptr;
    QAction *m_lock = nullptr;
    QAction *m_protect = nullptr;
    QAction *m_change = nullptr;
    QAction *m_remove = nullptr;
    QAction *m_autoLock = nullptr;
    TIdleLock m_idle;
    class QTimer *m_idleTimer = nullptr;
    bool m_offerDue = false;
    bool m_sessionLocked = false; // waits for unsaved typing
};

#pragma once

#include "book/one_time_code.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QWidget;
class TBrowserPanel;
class TCategoryTree;
class TItemEditor;
class TLoginFill;
class TMessageService;
class TSecretClipboard;

// What the label beside the password shows for the key line of a
// description at `unixSeconds`: nothing without a key line, the code and the
// seconds it has left, or why the line gives no code.
struct TOneTimeCodeView
{
    bool shown = false;
    QString text;
    QString toolTip;
};
TOneTimeCodeView OneTimeCodeView(const TOneTimeKeyLine &line, qint64 unixSeconds);

// "Log In" and the one-time code of the main window: the button beside the
// login address, the label beside the password, and their entries in the
// tree's pop-up and the window's menu, each with a key of its own. They work
// on the text the item editor shows, typing not yet stored included, as the
// Paste buttons do. The window's controls are found by their names.
class TLoginController : public QObject
{
    Q_OBJECT
public:
    // `window` holds the item editor, the web panel, the tree, its pop-up and
    // the window's menu; refusals are told through `messages`.
    TLoginController(QWidget &window, TMessageService &messages);
    ~TLoginController() override;

    // Seconds since 1970 for the codes; tests fix it.
    void SetClock(std::function<qint64()> clock);

    QAction *LogInAction() const { return m_logIn; }
    QAction *CopyCodeAction() const { return m_copyCode; }

private:
    void LogIn();
    void CopyCode();
    // The description changed: find its key line again.
    void ReadKey();
    // Shows the code of now and waits for the next second.
    void Tick();
    void UpdateActions();
    bool ItemShown() const;

    TMessageService &m_messages;
    TItemEditor *m_editor;
    TBrowserPanel *m_browser;
    QLineEdit *m_address;
    TCategoryTree *m_tree;
    TSecretClipboard *m_clipboard;
    QLabel *m_codeLabel;
    QAction *m_logIn;
    QAction *m_copyCode;
    TLoginFill *m_fill;
    QTimer *m_tick;
    TOneTimeKeyLine m_key;
    std::function<qint64()> m_clock;
};

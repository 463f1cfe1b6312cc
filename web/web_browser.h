#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class QToolButton;
class QWebEngineProfile;
class QWebEngineView;
class TWebPage;

// The embedded browser of the main page. The web engine is heavy to start, so
// nothing of it exists until the first navigation; until then the panel is an
// empty page and every other operation does nothing.
//
// Cookies and site data live in a persistent profile in `profileFolder`, so a
// user logged into a site stays logged in after a restart.
class TWebBrowser : public QWidget
{
    Q_OBJECT
public:
    explicit TWebBrowser(const QString &profileFolder, QWidget *parent = nullptr);
    ~TWebBrowser() override;

    // Starts loading `address` exactly as given and returns at once. An address
    // that does not form an absolute URL raises EAppError; a page that cannot
    // be loaded is shown by the engine's own error page.
    void Navigate(const QString &address);
    // True while a page is still loading.
    bool Busy() const;
    // The address of the page shown (after redirects and links); empty
    // before the first navigation.
    QUrl Url() const;
    // These never raise; without a page, or without history, they do nothing.
    void Stop();
    void GoBack();
    void GoForward();
    void Refresh();
    // Runs the page's paste command, which inserts the clipboard's text into
    // the page's focused input. False when there is no document to paste into.
    bool Paste();
    // Replaces the system clipboard's contents, also with an empty text.
    static void SetClipboardText(const QString &text);

    // The engine's view, or null before the first navigation.
    QWebEngineView *View() const { return m_view; }
    // The last script error of the shown page, empty when there is none or the
    // user dismissed it.
    QString ScriptError() const;

Q_SIGNALS:
    // A navigation has ended, loaded or not (stopped, failed).
    void loadFinished(bool ok);
    // The page shown now has another address.
    void urlChanged(const QUrl &url);

private:
    void StartEngine();
    void ShowScriptError(const QString &message, int line, const QString &source);
    void ClearScriptError();

    QString m_profileFolder;
    QWidget *m_blank = nullptr;
    QWebEngineProfile *m_profile = nullptr;
    TWebPage *m_page = nullptr;
    QWebEngineView *m_view = nullptr;
    QWidget *m_errorBar = nullptr;
    QLabel *m_errorText = nullptr;
    QToolButton *m_errorClose = nullptr;
};

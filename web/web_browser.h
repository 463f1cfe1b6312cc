#pragma once

#include "util/web_engine_parts.h"

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
class TWebBrowser : public QWidget, public TBrowser
{
    Q_OBJECT
public:
    explicit TWebBrowser(const QString &profileFolder, QWidget *parent = nullptr);
    ~TWebBrowser() override;

    QWidget *Widget() override { return this; }
    // A page that cannot be loaded is shown by the engine's own error page.
    void Navigate(const QString &address) override;
    bool Busy() const override;
    QUrl Url() const override;
    void Stop() override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    // Runs the page's paste command.
    bool Paste() override;
    QString ScriptError() const override;
    void RunIsolatedScript(const QString &source, const std::function<void(const QVariant &)> &done) override;

    // The engine's view, or null before the first navigation.
    QWebEngineView *View() const { return m_view; }

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

#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

// The embedded browser's place in the main page. Until the first navigation
// it is an empty widget and the program has not even loaded the web engine;
// the first Navigate loads the engine plugin and puts the browser
// (web/web_browser.h, with its profile in `profileFolder`) in its place.
// Every other operation does nothing until then, as the browser itself does
// before its first page.
class TBrowserPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TBrowserPanel(const QString &profileFolder, QWidget *parent = nullptr);

    // Starts loading `address` exactly as given and returns at once. An address
    // that does not form an absolute URL raises EAppError, and so does a web
    // engine plugin that cannot be loaded.
    void Navigate(const QString &address);
    bool Busy() const;
    void Stop();
    void GoBack();
    void GoForward();
    void Refresh();
    // Pastes the clipboard's text into the page's focused input; false when
    // there is no document to paste into.
    bool Paste();
    // Replaces the system clipboard's contents, also with an empty text. It
    // loads the web engine plugin, as a paste always comes next.
    static void SetClipboardText(const QString &text);

    // The engine's view, or null before the first navigation.
    QWebEngineView *View() const;
    // The last script error of the shown page, empty when there is none.
    QString ScriptError() const;
    // The address of the page actually shown; empty before the first page.
    QUrl Url() const;

Q_SIGNALS:
    // A navigation has ended, loaded or not (stopped, failed).
    void loadFinished(bool ok);
    // The page shown has a new address (a link, a redirect, history).
    void urlChanged(const QUrl &url);

private:
    QString m_profileFolder;
    QWidget *m_browser = nullptr;
};

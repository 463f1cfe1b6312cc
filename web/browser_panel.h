#pragma once

#include "util/web_engine_parts.h"

#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>

// The embedded browser's place in the main page. Until the first navigation
// it is an empty widget and the program has not even loaded the web engine;
// the first Navigate loads the engine plugin and puts the browser
// (web/web_browser.h, with its profile in `profileFolder`) in its place.
// Every other operation does nothing until then, as the browser itself does
// before its first page.
class TBrowserPanel : public QWidget, public TBrowser
{
    Q_OBJECT
public:
    explicit TBrowserPanel(const QString &profileFolder, QWidget *parent = nullptr);
    ~TBrowserPanel() override;

    QWidget *Widget() override { return this; }
    // Also raises EAppError when the web engine plugin cannot be loaded.
    void Navigate(const QString &address) override;
    bool Busy() const override;
    QUrl Url() const override;
    void Stop() override;
    void GoBack() override;
    void GoForward() override;
    void Refresh() override;
    bool Paste() override;
    QString ScriptError() const override;
    void RunIsolatedScript(const QString &source, const std::function<void(const QVariant &)> &done) override;

Q_SIGNALS:
    // The browser's own, passed on (TBrowser).
    void loadFinished(bool ok);
    void urlChanged(const QUrl &url);

private:
    QString m_profileFolder;
    std::unique_ptr<TBrowser> m_browser;
};

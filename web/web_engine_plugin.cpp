// The web engine plugin: the browser and the HTML document view, reached by
// the program through TWebEngineParts. Built twice from this file: as the
// plugin module beside the executable, and as a static plugin that the test
// suites link so they drive the real engine.
#include "util/html_view.h"
#include "util/web_engine_parts.h"
#include "web/web_browser.h"

#include <QObject>
#include <QUrl>

namespace {

TWebBrowser *AsBrowser(QWidget *w)
{
    return static_cast<TWebBrowser *>(w);
}

const TWebBrowser *AsBrowser(const QWidget *w)
{
    return static_cast<const TWebBrowser *>(w);
}

} // namespace

class TWebEnginePlugin : public QObject, public TWebEngineParts
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID TWebEngineParts_iid)
    Q_INTERFACES(TWebEngineParts)
public:
    QWidget *NewBrowser(const QString &profileFolder, QWidget *parent) override
    {
        return new TWebBrowser(profileFolder, parent);
    }
    void Navigate(QWidget *browser, const QString &address) override { AsBrowser(browser)->Navigate(address); }
    bool Busy(const QWidget *browser) const override { return AsBrowser(browser)->Busy(); }
    void Stop(QWidget *browser) override { AsBrowser(browser)->Stop(); }
    void GoBack(QWidget *browser) override { AsBrowser(browser)->GoBack(); }
    void GoForward(QWidget *browser) override { AsBrowser(browser)->GoForward(); }
    void Refresh(QWidget *browser) override { AsBrowser(browser)->Refresh(); }
    bool Paste(QWidget *browser) override { return AsBrowser(browser)->Paste(); }
    QString ScriptError(const QWidget *browser) const override { return AsBrowser(browser)->ScriptError(); }
    QUrl Url(const QWidget *browser) const override { return AsBrowser(browser)->Url(); }
    QWebEngineView *BrowserView(const QWidget *browser) const override { return AsBrowser(browser)->View(); }
    void SetClipboardText(const QString &text) override { TWebBrowser::SetClipboardText(text); }

    QWidget *NewHtmlView(QWidget *parent) override { return new THtmlView(parent); }
    void SetHtml(QWidget *view, const QString &html, const QUrl &baseUrl) override
    {
        static_cast<THtmlView *>(view)->SetHtml(html, baseUrl);
    }
    QWebEngineView *HtmlViewEngine(const QWidget *view) const override
    {
        return static_cast<const THtmlView *>(view)->View();
    }
};

#include "web_engine_plugin.moc"

#pragma once

#include <QString>
#include <QtPlugin>

class QUrl;
class QWebEngineView;
class QWidget;

// The parts of the program that need the web engine: the browser of the web
// panel and the HTML document view. They live in a plugin beside the
// executable, so the engine's libraries (tens of megabytes, thousands of
// relocations) are loaded when the first page or document is needed, not at
// every start. The program holds light stand-ins (TBrowserPanel,
// TDocumentView) that create the real widgets through this interface.
//
// `browser` is always a widget made by NewBrowser, `view` one made by
// NewHtmlView. The shared OpenGL context the engine draws with is made just
// before the plugin is loaded (util/engine_share_context.h), not at start.
class TWebEngineParts
{
public:
    virtual ~TWebEngineParts() = default;

    virtual QWidget *NewBrowser(const QString &profileFolder, QWidget *parent) = 0;
    virtual void Navigate(QWidget *browser, const QString &address) = 0;
    virtual bool Busy(const QWidget *browser) const = 0;
    virtual void Stop(QWidget *browser) = 0;
    virtual void GoBack(QWidget *browser) = 0;
    virtual void GoForward(QWidget *browser) = 0;
    virtual void Refresh(QWidget *browser) = 0;
    virtual bool Paste(QWidget *browser) = 0;
    virtual QString ScriptError(const QWidget *browser) const = 0;
    virtual QUrl Url(const QWidget *browser) const = 0;
    virtual QWebEngineView *BrowserView(const QWidget *browser) const = 0;
    virtual void SetClipboardText(const QString &text) = 0;

    virtual QWidget *NewHtmlView(QWidget *parent) = 0;
    virtual void SetHtml(QWidget *view, const QString &html, const QUrl &baseUrl) = 0;
    virtual QWebEngineView *HtmlViewEngine(const QWidget *view) const = 0;
};

#define TWebEngineParts_iid "org.tarnwick.WebEngineParts/1"
Q_DECLARE_INTERFACE(TWebEngineParts, TWebEngineParts_iid)

// The plugin's file name, looked for in the executable's folder.
inline constexpr const char kWebEnginePluginFile[] = "tarnwick-webengine.so";

// The parts, loaded on the first call: a copy linked into the executable
// (the test suites link one) or else the plugin in the executable's folder.
// Raises EAppError, naming the file and the loader's reason, when neither is
// there.
TWebEngineParts &WebEngineParts();

#pragma once

#include <QString>
#include <QtPlugin>

#include <functional>
#include <memory>

class QUrl;
class QVariant;
class QWidget;

// The embedded browser as the program drives it. Made by the web engine
// plugin; its widget belongs in the caller's layout and emits
// loadFinished(bool) when a navigation has ended, loaded or not, and
// urlChanged(QUrl) when the page shown has a new address.
class TBrowser
{
public:
    virtual ~TBrowser() = default;

    virtual QWidget *Widget() = 0;
    // Starts loading `address` exactly as given and returns at once. An
    // address that does not form an absolute URL raises EAppError.
    virtual void Navigate(const QString &address) = 0;
    // True while a page is still loading.
    virtual bool Busy() const = 0;
    // The address of the page actually shown (after redirects and links);
    // empty before the first page.
    virtual QUrl Url() const = 0;
    // These never raise; without a page, or without history, they do nothing.
    virtual void Stop() = 0;
    virtual void GoBack() = 0;
    virtual void GoForward() = 0;
    virtual void Refresh() = 0;
    // Pastes the clipboard's text into the page's focused input; false when
    // there is no document to paste into.
    virtual bool Paste() = 0;
    // The last script error of the shown page, empty when there is none or
    // the user dismissed it.
    virtual QString ScriptError() const = 0;
    // Runs `source` in the main frame's document in a script world of the
    // program's own, which the page's scripts can neither see nor change,
    // and hands its result to `done`; without a page it does nothing, and
    // `done` may never be called when the page goes first.
    virtual void RunIsolatedScript(const QString &source, const std::function<void(const QVariant &)> &done) = 0;
};

// A read-only HTML document (util/html_view.h). Its widget emits
// linkOpened(QUrl) when a link left it for the desktop's handler.
class TDocument
{
public:
    virtual ~TDocument() = default;

    virtual QWidget *Widget() = 0;
    // Shows `html`; relative addresses in it resolve against `baseUrl`.
    virtual void SetHtml(const QString &html, const QUrl &baseUrl) = 0;
};

// The parts of the program that need the web engine: the browser of the web
// panel and the HTML document view. They live in a plugin beside the
// executable, so the engine's libraries (tens of megabytes, thousands of
// relocations) are loaded when the first page or document is needed, not at
// every start. The program holds light stand-ins (TBrowserPanel,
// TDocumentView) that create the real widgets through this interface.
//
// The shared OpenGL context the engine draws with is made just before the
// plugin is loaded (util/engine_share_context.h), not at start.
class TWebEngineParts
{
public:
    virtual ~TWebEngineParts() = default;

    virtual std::unique_ptr<TBrowser> NewBrowser(const QString &profileFolder, QWidget *parent) = 0;
    virtual std::unique_ptr<TDocument> NewDocument(QWidget *parent) = 0;
};

#define TWebEngineParts_iid "org.tarnwick.WebEngineParts/3"
Q_DECLARE_INTERFACE(TWebEngineParts, TWebEngineParts_iid)

// The plugin's file name, looked for in the executable's folder.
inline constexpr const char kWebEnginePluginFile[] = "tarnwick-webengine.so";

// The parts, loaded on the first call: a copy linked into the executable
// (the test suites link one) or else the plugin in the executable's folder.
// Raises EAppError, naming the file and the loader's reason, when neither is
// there.
TWebEngineParts &WebEngineParts();

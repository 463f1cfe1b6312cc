#include "web_page.h"

#include <QWebEngineNewWindowRequest>

TWebPage::TWebPage(QWebEngineProfile *profile, QObject *parent) : QWebEnginePage(profile, parent)
{
    connect(this, &QWebEnginePage::newWindowRequested, this, &TWebPage::OpenNewWindowHere);
}

void TWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                        int lineNumber, const QString &sourceID)
{
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
    if (level == ErrorMessageLevel)
        Q_EMIT scriptError(message, lineNumber, sourceID);
}

void TWebPage::OpenNewWindowHere(QWebEngineNewWindowRequest &request)
{
    // Pop-ups a script opens on its own are dropped; what the user asked for
    // (a link with a target, a middle click, a button's window.open) is loaded
    // in place, so it is not lost.
    if (!request.isUserInitiated() || !request.requestedUrl().isValid())
        return;
    load(request.requestedUrl());
}

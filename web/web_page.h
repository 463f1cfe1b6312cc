#pragma once

#include <QWebEnginePage>

// The page shown in the embedded browser. Script errors are passed on instead
// of being dropped, and a link that asks for a new window opens in the panel
// itself: the panel is the program's only browser window.
class TWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    TWebPage(QWebEngineProfile *profile, QObject *parent = nullptr);

Q_SIGNALS:
    void scriptError(const QString &message, int line, const QString &source);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    void OpenNewWindowHere(QWebEngineNewWindowRequest &request);
};

#pragma once

#include "web_engine_parts.h"

#include <QPoint>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>

class QTemporaryDir;
class QWebEngineView;

// A read-only HTML document view for the publisher's pages (the welcome page,
// news bodies), which arrive over plain HTTP and so may be written by anyone
// on the way. The view shows the document it was given and nothing else: its
// scripts run, its frames and pictures load, but no navigation of the view
// itself goes anywhere, whoever starts it. A link goes to the desktop's
// default handler only when the user clicks it (or presses Enter on it), once
// per click, and only when it is a web or mail address. The web engine behind
// it starts only when the first document is set, so a window that never shows
// one pays nothing for it.
class THtmlView : public QWidget, public TDocument
{
    Q_OBJECT
public:
    explicit THtmlView(QWidget *parent = nullptr);
    ~THtmlView() override;

    QWidget *Widget() override { return this; }
    void SetHtml(const QString &html, const QUrl &baseUrl = QUrl()) override;
    // The document last set.
    const QString &Html() const { return m_html; }
    // The engine view; null until the first document is set.
    QWebEngineView *View() const { return m_view; }

signals:
    // A link left the view for the desktop's handler.
    void linkOpened(const QUrl &url);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void WatchInput(QObject *widget);
    // Looks up the link the user's click or key press was on and opens it.
    void OpenLinkAt(const QString &findLinkScript);
    void OpenOutside(const QUrl &url);

    QWebEngineView *m_view = nullptr;
    QString m_html;
    // Documents too large to hand over directly are loaded from here.
    std::unique_ptr<QTemporaryDir> m_files;
    int m_fileCount = 0;
    QPoint m_pressedAt;
    bool m_pressed = false;
};

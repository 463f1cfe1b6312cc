#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

// Where a publisher's HTML document is shown (the welcome page, news bodies).
// It costs an empty widget until the first document: then the HTML view
// (util/html_view.h) is created from the web engine plugin and fills it.
class TDocumentView : public QWidget
{
    Q_OBJECT
public:
    explicit TDocumentView(QWidget *parent = nullptr);

    // Shows `html`; relative addresses in it resolve against `baseUrl`.
    // Raises EAppError when the web engine plugin cannot be loaded.
    void SetHtml(const QString &html, const QUrl &baseUrl = QUrl());
    // The document last set.
    const QString &Html() const { return m_html; }
    // The engine view; null until the first document is set.
    QWebEngineView *View() const;

signals:
    // A link left the view for the desktop's handler.
    void linkOpened(const QUrl &url);

private:
    QWidget *m_view = nullptr;
    QString m_html;
};

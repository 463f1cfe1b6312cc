#pragma once

#include "web_engine_parts.h"

#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>

// Where a publisher's HTML document is shown (the welcome page, news bodies).
// It costs an empty widget until the first document: then the HTML view
// (util/html_view.h) is created from the web engine plugin and fills it.
class TDocumentView : public QWidget
{
    Q_OBJECT
public:
    explicit TDocumentView(QWidget *parent = nullptr);
    ~TDocumentView() override;

    // Shows `html`; relative addresses in it resolve against `baseUrl`.
    // Raises EAppError when the web engine plugin cannot be loaded.
    void SetHtml(const QString &html, const QUrl &baseUrl = QUrl());
    // The document last set.
    const QString &Html() const { return m_html; }

signals:
    // A link left the view for the desktop's handler.
    void linkOpened(const QUrl &url);

private:
    std::unique_ptr<TDocument> m_document;
    QString m_html;
};

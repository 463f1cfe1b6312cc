#include "document_view.h"

#include "web_engine_parts.h"

#include <QVBoxLayout>

TDocumentView::TDocumentView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setAutoFillBackground(true);
}

void TDocumentView::SetHtml(const QString &html, const QUrl &baseUrl)
{
    TWebEngineParts &parts = WebEngineParts();
    if (!m_view) {
        m_view = parts.NewHtmlView(this);
        m_view->setObjectName(objectName() + QStringLiteral("Html"));
        // By name: the view's class lives in the plugin.
        connect(m_view, SIGNAL(linkOpened(QUrl)), this, SIGNAL(linkOpened(QUrl)));
        layout()->addWidget(m_view);
        if (isVisible())
            m_view->show();
    }
    m_html = html;
    parts.SetHtml(m_view, html, baseUrl);
}

QWebEngineView *TDocumentView::View() const
{
    return m_view ? WebEngineParts().HtmlViewEngine(m_view) : nullptr;
}

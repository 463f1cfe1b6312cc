#include "document_view.h"

#include <QVBoxLayout>

TDocumentView::TDocumentView(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setAutoFillBackground(true);
}

// The document goes before the view's widget part, which would otherwise
// delete it as a child behind the owner's back.
TDocumentView::~TDocumentView() = default;

void TDocumentView::SetHtml(const QString &html, const QUrl &baseUrl)
{
    if (!m_document) {
        m_document = WebEngineParts().NewDocument(this);
        QWidget *view = m_document->Widget();
        view->setObjectName(objectName() + QStringLiteral("Html"));
        // By name: the view's class lives in the plugin.
        connect(view, SIGNAL(linkOpened(QUrl)), this, SIGNAL(linkOpened(QUrl)));
        layout()->addWidget(view);
        if (isVisible())
            view->show();
    }
    m_html = html;
    m_document->SetHtml(html, baseUrl);
}

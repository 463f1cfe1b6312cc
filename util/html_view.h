#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>

class QTemporaryDir;
class QWebEngineView;

// A read-only HTML document view for the publisher's pages (the welcome page,
// news bodies). Links the user follows, and pages that ask for a new window,
// open with the desktop's default handler instead of inside the view. The web
// engine behind it starts only when the first document is set, so a window
// that never shows one pays nothing for it.
class THtmlView : public QWidget
{
    Q_OBJECT
public:
    explicit THtmlView(QWidget *parent = nullptr);
    ~THtmlView() override;

    // Shows `html`; relative addresses in it resolve against `baseUrl`.
    void SetHtml(const QString &html, const QUrl &baseUrl = QUrl());
    // The document last set.
    const QString &Html() const { return m_html; }
    // The engine view; null until the first document is set.
    QWebEngineView *View() const { return m_view; }

signals:
    // A link left the view for the desktop's handler.
    void linkOpened(const QUrl &url);

private:
    void OpenOutside(const QUrl &url);

    QWebEngineView *m_view = nullptr;
    QString m_html;
    // Documents too large to hand over directly are loaded from here.
    std::unique_ptr<QTemporaryDir> m_files;
    int m_fileCount = 0;
};

#include "secret_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

TSecretClipboard::TSecretClipboard(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(DefaultLifetimeMs);
    connect(&m_timer, &QTimer::timeout, this, &TSecretClipboard::ClearIfStillOurs);
}

TSecretClipboard::~TSecretClipboard()
{
    ClearIfStillOurs();
}

void TSecretClipboard::SetText(const QString &text)
{
    // An explicit text entry even when empty, so that whatever was on the
    // clipboard before is gone.
    auto *data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(HintFormat), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    m_text = text;
    m_placed = true;
    m_timer.start();
}

void TSecretClipboard::ClearIfStillOurs()
{
    m_timer.stop();
    if (!m_placed || !qGuiApp)
        return;
    m_placed = false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QMimeData *now = clipboard->mimeData(QClipboard::Clipboard);
    // What the user copied since is theirs; an empty text we placed leaves
    // nothing worth clearing.
    if (!now || !now->hasText() || now->text() != m_text || m_text.isEmpty() ||
        now->data(QString::fromLatin1(HintFormat)) != "secret")
        return;
    clipboard->clear(QClipboard::Clipboard);
}

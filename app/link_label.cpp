#include "link_label.h"

#include "util/codepage.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

TLinkLabel::TLinkLabel(QWidget *parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()))
        return;
    emit linkClicked(m_url);
    if (!m_url.isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(FromAnsi(m_url)));
}

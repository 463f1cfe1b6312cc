#include "link_label.h"

#include "util/text_utils.h"

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
    // A label without an address (only one link offered) is not a link.
    if (m_url.isEmpty())
        return;
    QString why;
    const QString address = DesktopAddress(m_url, TAddressUse::WebOrMail, &why);
    if (address.isEmpty()) {
        emit linkRefused(why);
        return;
    }
    QDesktopServices::openUrl(QUrl(address, QUrl::StrictMode));
}

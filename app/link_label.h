#pragma once

#include <QByteArray>
#include <QLabel>

// A link label: hand cursor, underlined caption, and a click opens its URL
// with the desktop's open action when it is a web or mail address; any other
// address is refused with the reason.
class TLinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget *parent = nullptr);

    void SetURL(const QByteArray &url) { m_url = url; }
    const QByteArray &URL() const { return m_url; }

signals:
    void linkClicked(const QByteArray &url);
    void linkRefused(const QString &why);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QByteArray m_url;
};

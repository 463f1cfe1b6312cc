#pragma once

#include <QByteArray>
#include <QLabel>

// A link label: hand cursor, underlined caption, and a click opens its URL
// with the desktop's open action.
class TLinkLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget *parent = nullptr);

    void SetURL(const QByteArray &url) { m_url = url; }
    const QByteArray &URL() const { return m_url; }

signals:
    void linkClicked(const QByteArray &url);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QByteArray m_url;
};

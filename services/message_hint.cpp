#include "message_hint.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWindow>

namespace {

QRect Candidate(QSize size, QPoint at, THintPosition position)
{
    const int inset = TMessageHint::kPointerInset;
    switch (position) {
    case THintPosition::BelowLeft:
        return QRect(QPoint(at.x() - size.width() + inset + TMessageHint::kShadow, at.y()), size);
    case THintPosition::BelowRight:
        return QRect(QPoint(at.x() - inset, at.y()), size);
    case THintPosition::AboveLeft:
        return QRect(QPoint(at.x() - size.width() + inset + TMessageHint::kShadow, at.y() - size.height() + TMessageHint::kShadow), size);
    case THintPosition::AboveRight:
        return QRect(QPoint(at.x() - inset, at.y() - size.height() + TMessageHint::kShadow), size);
    }
    return {};
}

// "MS Sans Serif" where the desktop has it, a sans font otherwise; 11 pixels.
QFont HintFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    if (QFontInfo(font).family() != font.family()) {
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPixelSize(11);
    return font;
}

} // namespace

THintPlacement PlaceHint(QSize size, QPoint at, const QRect &screen)
{
    for (THintPosition p : {THintPosition::BelowLeft, THintPosition::BelowRight, THintPosition::AboveLeft,
                            THintPosition::AboveRight}) {
        const QRect r = Candidate(size, at, p);
        if (screen.contains(r))
            return {r, p};
    }
    return {Candidate(size, at, THintPosition::BelowLeft), THintPosition::BelowLeft};
}

TMessageHint::TMessageHint(QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("LMDMessageHint1"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(HintFont());
    hide();
}

TMessageHint::~TMessageHint()
{
    if (m_filtering)
        qApp->removeEventFilter(this);
}

QSize TMessageHint::BodySize() const
{
    const QFontMetrics fm(font());
    const QRect text = fm.boundingRect(QRect(0, 0, 400, 2000), Qt::TextWordWrap, m_text);
    // A few pixels of slack: drawing in exactly the measured width can wrap
    // a line again and push the last one out of the body.
    return QSize(qMax(text.width() + 24, 2 * kPointerInset + 10), text.height() + 16);
}

QPoint TMessageHint::Tip() const
{
    const int x = (m_position == THintPosition::BelowLeft || m_position == THintPosition::AboveLeft)
                      ? width() - kPointerInset - kShadow
                      : kPointerInset;
    const int y = (m_position == THintPosition::BelowLeft || m_position == THintPosition::BelowRight)
                      ? 0
                      : height() - kShadow;
    return mapToGlobal(QPoint(x, y));
}

void TMessageHint::ShowMessage(const QString &text, QPoint at)
{
    HideMessage();
    m_text = text;
    m_text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QSize body = BodySize();
    const QSize size(body.width() + kShadow, body.height() + kPointer + kShadow);
    QScreen *screen = QGuiApplication::screenAt(at);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const THintPlacement place = PlaceHint(size, at, screen ? screen->geometry() : QRect(at, size));
    m_position = place.position;
    setGeometry(place.geometry);
    // The window takes the balloon's shape and its shadow, so no square
    // corners show where the desktop has no transparency.
    const QPainterPath shape = Shape();
    setMask(QRegion(shape.toFillPolygon().toPolygon()) + QRegion(shape.translated(kShadow, kShadow).toFillPolygon().toPolygon()));
    show();
    raise();
    update();
    if (!m_filtering) {
        qApp->installEventFilter(this);
        m_filtering = true;
    }
}

void TMessageHint::HideMessage()
{
    if (m_filtering) {
        qApp->removeEventFilter(this);
        m_filtering = false;
    }
    hide();
}

bool TMessageHint::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        // The window's own event comes before the widget's.
        if (watched == this || (watched && watched == static_cast<QObject *>(windowHandle()))) {
            HideMessage();
            emit clicked();
            break;
        }
        HideMessage();
        break;
    case QEvent::KeyPress:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::Wheel:
    case QEvent::ApplicationActivate:
    case QEvent::ApplicationDeactivate:
        HideMessage();
        break;
    default:
        break;
    }
    return false;
}

QRectF TMessageHint::BodyRect() const
{
    const bool below = m_position == THintPosition::BelowLeft || m_position == THintPosition::BelowRight;
    const int w = width() - kShadow;
    const int h = height() - kShadow;
    return QRectF(0.5, below ? kPointer + 0.5 : 0.5, w - 1, h - kPointer - 1);
}

QPainterPath TMessageHint::Shape() const
{
    const bool below = m_position == THintPosition::BelowLeft || m_position == THintPosition::BelowRight;
    const bool left = m_position == THintPosition::BelowLeft || m_position == THintPosition::AboveLeft;
    const int w = width() - kShadow;
    const int h = height() - kShadow;
    const QRectF body = BodyRect();
    const qreal tipX = left ? w - kPointerInset : kPointerInset;

    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    QPolygonF pointer;
    if (below)
        pointer << QPointF(tipX - 7, body.top() + 1) << QPointF(tipX, 0.5) << QPointF(tipX + 7, body.top() + 1);
    else
        pointer << QPointF(tipX - 7, body.bottom() - 1) << QPointF(tipX, h - 0.5)
                << QPointF(tipX + 7, body.bottom() - 1);
    path.addPolygon(pointer);
    return path.simplified();
}

void TMessageHint::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = Shape();
    const QRectF body = BodyRect();
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.fillPath(path.translated(kShadow, kShadow), QColor(0, 0, 0, 70));
    p.fillPath(path, palette().color(QPalette::ToolTipBase));
    p.setPen(QPen(palette().color(QPalette::ToolTipText).lighter(150), 1));
    p.drawPath(path);
    p.setPen(palette().color(QPalette::ToolTipText));
    p.drawText(body.adjusted(10, 7, -10, -7), Qt::TextWordWrap, m_text);
}

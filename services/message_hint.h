#pragma once

#include <QPainterPath>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

// Where a balloon goes around the point it points at, in the order tried.
enum class THintPosition { BelowLeft, BelowRight, AboveLeft, AboveRight };

struct THintPlacement
{
    QRect geometry; // the whole window: body, pointer and shadow
    THintPosition position;
};

// Places a balloon of `size` (window size) pointing at `at`: below and to the
// left first, then below-right, above-left, above-right, the first that fits
// `screen`; below-left when none does.
THintPlacement PlaceHint(QSize size, QPoint at, const QRect &screen);

// The notification balloon: a frameless tool window with a pointer and a
// 4-pixel shadow, in the tooltip colours. It has no time-out; it closes at the
// user's next key press, mouse press or wheel turn, or when the application
// is activated or deactivated. Showing another one replaces it.
class TMessageHint : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kShadow = 4;
    static constexpr int kPointer = 12;  // height of the pointer
    static constexpr int kPointerInset = 18; // its tip's distance from the near side

    explicit TMessageHint(QWidget *parent = nullptr);
    ~TMessageHint() override;

    // Shows `text` (lines split at CR LF) pointing at the screen point `at`.
    void ShowMessage(const QString &text, QPoint at);
    void HideMessage();

    QString Text() const { return m_text; }
    THintPosition Position() const { return m_position; }
    // The screen point the pointer's tip touches.
    QPoint Tip() const;

signals:
    // The user clicked the balloon itself (it closes all the same).
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QSize BodySize() const;
    QRectF BodyRect() const;
    QPainterPath Shape() const;

    QString m_text;
    THintPosition m_position = THintPosition::BelowLeft;
    bool m_filtering = false;
};

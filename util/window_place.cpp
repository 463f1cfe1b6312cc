#include "window_place.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

// Frame size less client size; nothing before the window system framed it.
QSize FrameExtra(const QWidget *window)
{
    const QSize extra = window->frameGeometry().size() - window->size();
    return extra.expandedTo(QSize(0, 0));
}

void PlaceFrame(QWidget *window, const QRect &area, bool centre)
{
    const QSize extra = FrameExtra(window);
    QRect frame(window->frameGeometry().topLeft(), window->size() + extra);
    if (centre)
        frame.moveCenter(area.center());
    const QRect fitted = FitIntoArea(frame, area, window->minimumSize() + extra);
    if (fitted.size() != frame.size())
        window->resize(fitted.size() - extra);
    if (fitted.topLeft() != window->frameGeometry().topLeft())
        window->move(fitted.topLeft());
}

} // namespace

QRect FitIntoArea(const QRect &frame, const QRect &area, const QSize &minimum)
{
    if (!area.isValid())
        return frame;
    QSize size = frame.size().boundedTo(area.size()).expandedTo(minimum);
    QRect out(frame.topLeft(), size);
    // Right and bottom edges in first, then the top left corner wins.
    if (out.right() > area.right())
        out.moveRight(area.right());
    if (out.bottom() > area.bottom())
        out.moveBottom(area.bottom());
    if (out.left() < area.left())
        out.moveLeft(area.left());
    if (out.top() < area.top())
        out.moveTop(area.top());
    return out;
}

QRect FitOntoScreens(const QRect &frame, const QList<QRect> &areas, const QSize &minimum)
{
    if (areas.isEmpty())
        return frame;
    qsizetype best = 0;
    qint64 bestShown = 0;
    for (qsizetype i = 0; i < areas.size(); ++i) {
        const QRect shown = frame & areas[i];
        if (const qint64 pixels = qint64(shown.width()) * shown.height(); pixels > bestShown) {
            best = i;
            bestShown = pixels;
        }
    }
    return FitIntoArea(frame, areas[best], minimum);
}

void CentreOnScreen(QWidget *window)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    PlaceFrame(window, screen->availableGeometry(), true);
}

void KeepOnScreen(QWidget *window)
{
    QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen || window->isMaximized() || window->isFullScreen())
        return;
    PlaceFrame(window, screen->availableGeometry(), false);
}

void BringToFront(QWidget *window)
{
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
    if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != window) {
        modal->raise();
        modal->activateWindow();
    }
}

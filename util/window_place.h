#pragma once

#include <QList>
#include <QRect>

class QWidget;

// Moves a top-level window to the centre of the primary screen's work area,
// shrunk first when it is larger than that area.
// A dialog moved this way is no longer placed over the window that opened it.
void CentreOnScreen(QWidget *window);

// Where a window whose frame is `frame` lies wholly inside `area`: shrunk to
// the area when larger, then moved in. A frame that cannot shrink enough (its
// smallest size is `minimum`) keeps its top left corner, and so its title bar,
// in the area.
QRect FitIntoArea(const QRect &frame, const QRect &area, const QSize &minimum = QSize(0, 0));

// `frame` fitted (as FitIntoArea does) into whichever of `areas` shows most
// of it; into the first, the primary screen's work area, when none shows any
// of it (a window last seen on a monitor unplugged since). Unchanged without
// areas.
QRect FitOntoScreens(const QRect &frame, const QList<QRect> &areas, const QSize &minimum = QSize(0, 0));

// Shrinks and moves a top-level window that does not lie wholly on its
// screen's work area (a screen smaller than the window, a large scale factor).
void KeepOnScreen(QWidget *window);

// Shows a window in front of the others, restored when it was minimised; a
// modal dialog it has open comes along.
void BringToFront(QWidget *window);

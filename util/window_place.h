#pragma once

class QWidget;

// Moves a top-level window to the centre of the primary screen's work area.
// A dialog moved this way is no longer placed over the window that opened it.
void CentreOnScreen(QWidget *window);

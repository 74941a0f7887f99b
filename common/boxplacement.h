// Where the windows and their message boxes go on the screen.
#pragma once

#include <QRect>

class QWidget;

// Beside `window` (right of it, else left of it, else at the bottom right
// of the screen), so that the result table stays in view while the box is
// open. Call before the box is shown.
void placeBeside(QWidget *box, const QWidget *window);

// Centres a window on its screen before it is first shown. A window manager
// otherwise places a new window only once it is mapped, and a box centred
// on the window's provisional place (0, 0) ends up in the screen's corner.
void centreOnScreen(QWidget *window);

// Centred over `window`. Call before the box is shown.
void placeOver(QWidget *box, const QWidget *window);

// The top-left corner for a box of size `box` beside `window` within `screen`.
QPoint besidePosition(const QRect &window, const QSize &box, const QRect &screen);

// What the player asks of the window system beyond plain widgets.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// Keeps the window above all others, or lets it go, without moving, resizing
// or activating it.
void setStayOnTop(QWidget *window, bool onTop);
// Brings the toolkit's idea of a shown top-level window's position in line with
// where the window really is. Under an X11 window manager the toolkit can miss
// the final placement of a window it showed (it then believes the window sits
// at 0,0), and the next resize or position read would act on that stale value.
// Returns the true position, in logical pixels.
QPoint refreshWindowPosition(QWidget *window);
// True when some part of rect (in logical pixels) lies on a screen.
bool onAnyScreen(const QRect &rect);
// Where a window of this size (its frame included) goes beside anchor: below
// it when there is room on the screen, else above it, and always wholly on the
// screen that holds the anchor.
QPoint placeBeside(const QRect &anchor, const QSize &size);

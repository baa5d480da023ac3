// What the player asks of the window system beyond plain widgets.
#pragma once

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QStringList>

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

// The window platform to ask the toolkit for, before the application object
// exists, or empty to leave its own choice. A window on native Wayland cannot
// place itself (no saved position, drag, snap or staying on top), so where an
// X server is there (display, from $DISPLAY) and the user chose no platform
// (chosen, from $QT_QPA_PLATFORM, empty, and no "-platform" among arguments),
// the window goes through X11 first, which on a Wayland session is XWayland,
// and falls back to Wayland where X11 does not answer.
QByteArray preferredWindowPlatform(const QStringList &arguments, const QByteArray &chosen,
                                   const QByteArray &display);
// True where the compositor alone places windows (native Wayland): a window
// can ask it to start a move, but cannot set its own position or stacking.
bool compositorPlacesWindows();

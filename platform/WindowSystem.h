// What the player asks of the window system beyond plain widgets.
#pragma once

#include <QRect>

class QWidget;

// Keeps the window above all others, or lets it go, without moving, resizing
// or activating it.
void setStayOnTop(QWidget *window, bool onTop);
// True when some part of rect (in logical pixels) lies on a screen.
bool onAnyScreen(const QRect &rect);

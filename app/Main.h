// Start-up: the probe for a running instance, the main window, the argument.
#pragma once

class QApplication;
class QCoreApplication;
class QString;
class frmMain;

// Runs the program on an existing application object; returns the exit status.
int Main(QApplication &app);

// A first start's argument: the playlist becomes that entry and play restarts
// at its first song. Does nothing when the text, trimmed, is empty.
void TakeArgument(frmMain &window, const QString &argumentText);

// How the player ends: its window's close ends the event loop, for good; the
// application's quit request (the session manager's) closes the window as
// "Close player" does, whatever is open; an event loop that ends another way
// still runs the shutdown.
void connectShutdown(QCoreApplication &app, frmMain &window);

// Start-up: the probe for a running instance, the main window, the argument.
#pragma once

#include <QStringList>

class QApplication;
class QCoreApplication;
class frmMain;

// Whether the program may open enough files at once: its own limit is raised
// as far as the system allows. False, having said why on stderr, when that is
// too few to start (under "ulimit -n 8" the toolkit itself would abort).
bool EnoughDescriptors();

// Runs the program on an existing application object; returns the exit status.
int Main(QApplication &app);

// A first start's paths: the playlist becomes those entries, in order, and play
// restarts at its first song. Does nothing without paths.
void TakeArgument(frmMain &window, const QStringList &paths);

// How the player ends: its window's close ends the event loop, for good; the
// application's quit request (the session manager's) closes the window as
// "Close player" does, whatever is open; an event loop that ends another way
// still runs the shutdown.
void connectShutdown(QCoreApplication &app, frmMain &window);

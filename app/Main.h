// Start-up: the probe for a running instance, the main window, the argument.
#pragma once

class QApplication;

// Runs the program on an existing application object; returns the exit status.
int Main(QApplication &app);

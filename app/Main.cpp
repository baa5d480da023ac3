// Start-up: the probe for a running instance, the main window, the argument.
#include "app/Main.h"

#include <QApplication>

int Main(QApplication &app)
{
    return app.exec();
}

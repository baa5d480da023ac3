// The taskbar placeholder shown while the main window is minimised: an
// ordinary window with a caption and the program's icon.
#pragma once

#include <QWidget>

class frmDummy : public QWidget
{
    Q_OBJECT
public:
    explicit frmDummy(QWidget *mainWindow);
};

// The taskbar placeholder shown while the main window is minimised: an
// ordinary window with a caption and the program's icon. The borderless main
// window has no taskbar button of its own, so minimising hides it and shows
// this window minimised in its stead; restoring this window from the taskbar
// brings the main window back and hides this one again.
#pragma once

#include <QWidget>

class frmDummy : public QWidget
{
    Q_OBJECT
public:
    // mainWindow is the window this one stands in for; it owns this window.
    explicit frmDummy(QWidget *mainWindow);

    // Any change of the window's state: when it is no longer minimised the
    // user restored it, and the main window comes back in its place.
    void Form_Resize();
    // Brings the main window back and leaves the taskbar.
    void restoreMainWindow();

protected:
    void changeEvent(QEvent *event) override;
    // Closing the placeholder from the taskbar restores the main window, so
    // the player never runs on with no window at all.
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *m_main;
};

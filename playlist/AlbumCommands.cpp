// The album commands: add, load, save, and the recent albums.
#include "ui/frmMain.h"

void frmMain::btnLoad_Click()
{}

void frmMain::mnuLoad_Click()
{}

void frmMain::btnSave_Click()
{}

void frmMain::mnuSave_Click()
{
    btnSave_Click();
}

void frmMain::mnuA_Click(int Index)
{
    Q_UNUSED(Index);
}

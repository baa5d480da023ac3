// Editing the playlist in place: remove, clear, move, shuffle, sort.
#include "ui/frmMain.h"

void frmMain::btnRemove_Click()
{}

void frmMain::btnClear_Click()
{}

void frmMain::btnUp_Click()
{}

void frmMain::btnDn_Click()
{}

void frmMain::btnRn_Click()
{}

void frmMain::btnSort_Click()
{}

// Loading the main window: settings into the controls, the sequencer prepared,
// the default album read and played.
#include "engine/SequencerDevice.h"
#include "platform/ProgramFiles.h"
#include "ui/frmMain.h"

#include <QFileInfo>

void frmMain::Form_Load()
{
    LoadSettings();
    setHeightTwips(3150);

    // The controls are set the way a user sets them: a handler runs only where
    // the state differs from the design state.
    chkDefault->setChecked(Global.DefaultPlayer);
    chkSnap->setChecked(Global.SnapToScreen);
    chkShadeMode->setChecked(Global.ShadeMode);
    chkTop->setChecked(Global.OnTop);
    optInterrupt[Global.OnNewEntry]->setChecked(true);

    if (Global.ResetMode == 1)
        ResetFile = programDataFile(programFolder(), QStringLiteral("GM.MID"));
    else if (Global.ResetMode == 2)
        ResetFile = programDataFile(programFolder(), QStringLiteral("GS.MID"));
    optReset[Global.ResetMode]->setChecked(true);

    placeWindow();
    if (chkShadeMode->isChecked())
        lblSongName_DblClick();
    SetBackColor(btnConfig, false);

    MCI->setDeviceType(QStringLiteral("Sequencer"));
    MCI->setWait(false);

    Stopped = true;
    PlayIndex = -1;
    PrevClicked = false;

    lblPct->hide();
    shpBarProg->resize(0, shpBarProg->height());

    if (Global.CurrentAlbum == 0 && QFileInfo(defaultAlbumPath()).isFile()) {
        AddPlayList(defaultAlbumPath(), false);
        // What could not be read must not be replaced by less at the close.
        m_keepDefaultAlbum = albumOutOfMemory();
    }
    UpdateAlbum();
    UpdateMIDIMenu();
    mnuA[1]->setChecked(Global.CurrentAlbum == 1);
}

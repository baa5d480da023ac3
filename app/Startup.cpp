// Loading the main window: settings into the controls, the sequencer prepared,
// the default album read and played.
#include "engine/SequencerDevice.h"
#include "player/Player.h"
#include "player/Sound.h"
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

    // The option's handler tells the Player the reset; it runs here also
    // when the option is the design's own.
    optReset[Global.ResetMode]->setChecked(true);
    optReset_Click(Global.ResetMode);

    placeWindow();
    if (chkShadeMode->isChecked())
        lblSongName_DblClick();
    SetBackColor(btnConfig, false);

    MCI->setDeviceType(QStringLiteral("Sequencer"));
    MCI->setWait(false);
    player.setVolume(storedSoundChoice(*store).gain);

    lblPct->hide();
    shpBarProg->resize(0, shpBarProg->height());

    if (Global.CurrentAlbum == 0 && QFileInfo(defaultAlbumPath()).isFile()) {
        // What was not read whole (too big, cancelled, a failed read) must
        // not be replaced by less at the close.
        AddPlayList(defaultAlbumPath(), false,
                    [this](AlbumEnd end) { m_keepDefaultAlbum = end != AlbumEnd::Loaded; });
    }
    UpdateAlbum();
    UpdateMIDIMenu();
    mnuA[1]->setChecked(Global.CurrentAlbum == 1);
}

// Which song plays: advancing with wrap-round, the transport images, the
// previous-button window, the reset before a song, device notifications and
// the play menu.
#include "support/WindowFixture.h"
#include "ui/SongMenu.h"

#include <QAction>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

class PlayFlowTest : public WindowFixture
{
protected:
    void play(frmMain &w, int k)
    {
        w.mnuMID_Click(k);
        device.log.clear();
    }
};

TEST_F(PlayFlowTest, AdvanceWrapsAndChoosingASongAlwaysRestartsIt)
{
    frmMain &w = withSongs(3);
    play(w, 2);
    w.imgControls_Click(4);
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_EQ(device.log, (QStringList{u"Close"_s, u"Close"_s, u"Open "_s + s(0), u"Play"_s}));
    device.log.clear();
    w.lstMIDI->setListIndex(0); // the current song: played again
    w.lstMIDI_DblClick();
    EXPECT_EQ(device.opened(), QStringList{s(0)});
    w.lstMIDI->setListIndex(2);
    w.btnPlay_Click();
    EXPECT_EQ(device.openFile(), s(2));
}

TEST_F(PlayFlowTest, PreviousRestartsThenGoesBackWhileTheWindowIsOpen)
{
    frmMain &w = withSongs(8);
    play(w, 5);
    w.imgControls_Click(0);
    EXPECT_EQ(device.log, QStringList{u"Play from 0"_s});
    EXPECT_TRUE(w.tme->isActive());
    EXPECT_EQ(w.tme->interval(), 500);
    w.imgControls_Click(0);
    EXPECT_EQ(device.openFile(), s(4));
    w.imgControls_Click(0);
    EXPECT_EQ(device.openFile(), s(3));
    w.tme_Timer(); // the window closes: the next press restarts again
    EXPECT_FALSE(w.tme->isActive());
    device.log.clear();
    w.imgControls_Click(0);
    EXPECT_EQ(device.log, QStringList{u"Play from 0"_s});

    // From the first song, going back wraps round to it.
    play(w, 0);
    w.imgControls_DblClick(0);
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_EQ(device.openFile(), s(0));
}

TEST_F(PlayFlowTest, IndexesBeforeTheFirstEntryReachEntryZeroWithinTwoUpdates)
{
    // Previous pressed twice before any song: -1 becomes -3, the advance -2.
    frmMain &w = withSongs(2);
    w.imgControls_Click(0);
    w.imgControls_Click(0);
    EXPECT_EQ(w.PlayIndex, -2);
    w.MCI_StatusUpdate();
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_EQ(device.openFile(), s(0));

    // "Play this MIDI" with nothing selected: one update.
    w.imgControls_Click(3);
    w.lstMIDI->setListIndex(-1);
    w.btnPlay_Click();
    EXPECT_EQ(w.PlayIndex, -1);
    w.MCI_StatusUpdate();
    EXPECT_EQ(device.openFile(), s(0));
}

TEST_F(PlayFlowTest, TransportImagesFollowTheStateTable)
{
    frmMain &w = withSongs(2);
    play(w, 0);
    w.imgControls_Click(1);
    EXPECT_TRUE(device.log.isEmpty()); // playing: the play image does nothing
    w.imgControls_Click(2);
    w.imgControls_Click(1);
    EXPECT_TRUE(device.isPaused()); // paused: nothing either
    w.imgControls_Click(2);
    EXPECT_TRUE(device.isPlaying()); // pause twice resumes
    w.imgControls_Click(3);
    EXPECT_TRUE(device.openFile().isEmpty());
    w.imgControls_Click(1); // stopped: the current song opens and plays again
    EXPECT_EQ(device.openFile(), s(0));
    EXPECT_TRUE(device.isPlaying());
}

TEST_F(PlayFlowTest, ResetPlaysBeforeEveryAdvancedSongOnly)
{
    frmMain &w = withSongs(3, 1);
    const QString gm = dir.filePath(u"GM.MID"_s);
    device.script(gm, 80);
    w.imgControls_Click(4);
    w.imgControls_Click(4);
    EXPECT_EQ(device.opened(), (QStringList{gm, s(0), gm, s(1)}));
    EXPECT_EQ(device.log.count(u"Play wait"_s), 2);
    EXPECT_FALSE(device.Wait());
    // Not before a restart, a re-open by the play image or a seek.
    device.log.clear();
    w.imgControls_Click(0);
    w.imgControls_Click(3);
    w.imgControls_Click(1);
    w.lblPct_MouseUp(1, 0, 900, 0);
    EXPECT_FALSE(device.opened().contains(gm));

    w.optReset[2]->setChecked(true);
    device.log.clear();
    w.imgControls_Click(4);
    EXPECT_EQ(device.opened().first(), dir.filePath(u"GS.MID"_s));
    w.optReset[0]->setChecked(true);
    device.log.clear();
    w.imgControls_Click(4);
    EXPECT_EQ(device.opened(), QStringList{s(0)});
}

TEST_F(PlayFlowTest, SongOutsideThePlaylistEndsByNotification)
{
    frmMain &w = withSongs(0);
    w.PlayFile = song(u"loose.mid"_s, 3000);
    w.imgControls_Click(1);
    // Next with an empty playlist only stops: the song sounds on.
    device.log.clear();
    w.imgControls_Click(4);
    EXPECT_TRUE(w.Stopped);
    EXPECT_TRUE(device.log.isEmpty());
    // Its end then starts it again.
    device.finish();
    pump();
    EXPECT_EQ(device.opened(), QStringList{w.PlayFile});
    EXPECT_FALSE(w.Stopped);
    // Ended while playing: nothing.
    device.log.clear();
    device.finish();
    pump();
    EXPECT_TRUE(device.log.isEmpty());
    // Aborted: a status update, which hides the bar when stopped.
    w.Stopped = true;
    w.lblPct->show();
    w.MCI_Done(4);
    EXPECT_TRUE(w.lblPct->isHidden());
    // With a playlist the device's notifications change nothing.
    w.lstPlay.append(w.PlayFile);
    w.UpdateMIDI();
    device.log.clear();
    w.MCI_Done(1);
    EXPECT_TRUE(device.log.isEmpty());
}

TEST_F(PlayFlowTest, PlayMenuFollowsThePlaylistAndTheCurrentSong)
{
    frmMain &w = withSongs(5);
    play(w, 3);
    w.songMenu->build();
    EXPECT_EQ(w.songMenu->captions(), (QStringList{u"s0"_s, u"s1"_s, u"s2"_s, u"s3"_s, u"s4"_s}));
    EXPECT_EQ(w.songMenu->checkedRow(), 3);
    const QList<QAction *> actions = w.mnuPlay->actions();
    EXPECT_EQ(
        std::count_if(actions.begin(), actions.end(), [](QAction *a) { return a->isCheckable(); }),
        1);

    struct Step
    {
        int songs;
        int playIndex;
        int checked;
        bool list;
    } steps[] = {{2, 1, 1, false},
                 {2, -1, -1, false},
                 {SongMenu::PlainItemLimit + 50, 7, 7, true},
                 {3, 2, 2, false},
                 {0, -1, -1, false}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.songs);
        w.lstPlay.clear();
        for (int i = 0; i < step.songs; ++i)
            w.lstPlay.append(u"/m/t%1.mid"_s.arg(i));
        w.PlayIndex = step.playIndex;
        w.UpdateMIDI();
        w.songMenu->build();
        EXPECT_EQ(w.songMenu->captions().size(), step.songs);
        EXPECT_EQ(w.songMenu->checkedRow(), step.checked);
        EXPECT_EQ(w.songMenu->isList(), step.list);
        EXPECT_EQ(w.songMenu->separatorVisible(), step.songs > 0);
        if (step.songs > 1) {
            EXPECT_EQ(w.songMenu->captions().at(1), u"t1"_s);
        }
    }
}

} // namespace

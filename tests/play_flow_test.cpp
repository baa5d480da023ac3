// Which song plays: advancing with wrap-round, the transport images, the
// previous-button window, the reset before a song, and device notifications.
#include "playback/PlayMenu.h"
#include "support/WindowFixture.h"

namespace {

class PlayFlowTest : public WindowFixture
{
protected:
    // A loaded window with songs s0 … s(n-1), nothing played yet.
    frmMain &withSongs(int n, int resetMode = 0)
    {
        store.values.insert(QStringLiteral("Reset"), QString::number(resetMode));
        frmMain &w = window();
        w.Form_Load();
        for (int i = 0; i < n; ++i)
            w.lstPlay.append(song(QStringLiteral("s%1.mid").arg(i)));
        w.UpdateMIDI();
        return w;
    }
    QString s(int i) { return dir.filePath(QStringLiteral("s%1.mid").arg(i)); }
    void play(frmMain &w, int k)
    {
        w.mnuMID_Click(k);
        device.log.clear();
    }
};

TEST_F(PlayFlowTest, NextWrapsRoundAtTheEnd)
{
    frmMain &w = withSongs(3);
    play(w, 2);
    EXPECT_EQ(device.openFile(), s(2));
    w.imgControls_Click(4);
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_EQ(device.openFile(), s(0));
    EXPECT_EQ(device.log, (QStringList{QStringLiteral("Close"), QStringLiteral("Close"),
                                       QStringLiteral("Open ") + s(0), QStringLiteral("Play")}));
    EXPECT_TRUE(device.Notify());
    EXPECT_FALSE(w.Stopped);
}

TEST_F(PlayFlowTest, ChoosingASongPlaysItEvenWhenItIsCurrent)
{
    frmMain &w = withSongs(3);
    play(w, 1);
    w.lstMIDI->setListIndex(1);
    w.lstMIDI_DblClick();
    EXPECT_EQ(w.PlayIndex, 1);
    EXPECT_TRUE(device.log.contains(QStringLiteral("Open ") + s(1)));
    device.log.clear();
    w.lstMIDI->setListIndex(2);
    w.btnPlay_Click();
    EXPECT_EQ(device.openFile(), s(2));
}

TEST_F(PlayFlowTest, PreviousRestartsThenGoesBackWithinTheWindow)
{
    frmMain &w = withSongs(8);
    play(w, 5);
    w.imgControls_Click(0); // restart 5
    EXPECT_EQ(device.log, QStringList{QStringLiteral("Play from 0")});
    EXPECT_TRUE(w.PrevClicked);
    EXPECT_TRUE(w.tme->isActive());
    EXPECT_EQ(w.tme->interval(), 500);
    w.imgControls_Click(0); // within 500 ms: back to 4
    EXPECT_EQ(device.openFile(), s(4));
    w.imgControls_Click(0); // and to 3
    EXPECT_EQ(device.openFile(), s(3));
    EXPECT_TRUE(w.PrevClicked);
    w.tme_Timer(); // the window closes
    EXPECT_FALSE(w.PrevClicked);
    EXPECT_FALSE(w.tme->isActive());
    device.log.clear();
    w.imgControls_Click(0); // a restart again
    EXPECT_EQ(device.openFile(), s(3));
    EXPECT_EQ(device.log, QStringList{QStringLiteral("Play from 0")});
}

TEST_F(PlayFlowTest, PreviousTwiceOnTheFirstSongPlaysItAgain)
{
    frmMain &w = withSongs(3);
    play(w, 0);
    w.imgControls_Click(0);
    w.imgControls_DblClick(0);
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_EQ(device.openFile(), s(0));
}

TEST_F(PlayFlowTest, PreviousBeforeAnySongNeverReadsOutsideThePlaylist)
{
    frmMain &w = withSongs(2);
    w.imgControls_Click(0);
    w.imgControls_Click(0); // -1 becomes -3, the advance asks for entry -2
    EXPECT_EQ(w.PlayIndex, -2);
    EXPECT_TRUE(w.PlayFile.isEmpty());
    EXPECT_EQ(device.Length(), 0);
    // Each status update moves one on until a song opens.
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, -1);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_EQ(device.openFile(), s(0));
}

TEST_F(PlayFlowTest, PlayImageOnlyActsWhenStoppedAndPauseToggles)
{
    frmMain &w = withSongs(2);
    play(w, 0);
    w.imgControls_Click(1);
    EXPECT_TRUE(device.log.isEmpty()); // playing: nothing
    w.imgControls_Click(2);
    EXPECT_TRUE(device.isPaused());
    w.imgControls_Click(1);
    EXPECT_TRUE(device.isPaused()); // paused: still nothing
    w.imgControls_Click(2);
    EXPECT_TRUE(device.isPlaying());
    w.imgControls_Click(3);
    EXPECT_TRUE(w.Stopped);
    EXPECT_TRUE(device.openFile().isEmpty());
    w.imgControls_Click(1); // stopped: opens and plays the current song again
    EXPECT_EQ(device.openFile(), s(0));
    EXPECT_TRUE(device.isPlaying());
}

TEST_F(PlayFlowTest, ResetFilePlaysBeforeEveryAdvancedSongOnly)
{
    frmMain &w = withSongs(3, 1);
    const QString gm = dir.filePath(QStringLiteral("GM.MID"));
    device.script(gm, 80);
    w.imgControls_Click(4);
    w.imgControls_Click(4);
    EXPECT_EQ(device.opened(), (QStringList{gm, s(0), gm, s(1)}));
    // The reset plays to its end with Wait and without notification.
    EXPECT_EQ(device.log.count(QStringLiteral("Play wait")), 2);
    EXPECT_FALSE(device.Wait());
    EXPECT_TRUE(device.Notify());
    // No reset before a restart, a re-open by the play image or a seek.
    device.log.clear();
    w.imgControls_Click(0);
    w.imgControls_Click(3);
    w.imgControls_Click(1);
    w.lblPct_MouseUp(1, 0, 900, 0);
    EXPECT_FALSE(device.opened().contains(gm));

    w.optReset[2]->setChecked(true);
    EXPECT_EQ(w.ResetFile, dir.filePath(QStringLiteral("GS.MID")));
    device.log.clear();
    w.imgControls_Click(4);
    EXPECT_EQ(device.opened().first(), dir.filePath(QStringLiteral("GS.MID")));

    w.optReset[0]->setChecked(true);
    EXPECT_EQ(w.Global.ResetMode, 0);
    device.log.clear();
    w.imgControls_Click(4);
    EXPECT_EQ(device.opened(), QStringList{s(0)});
}

TEST_F(PlayFlowTest, NextWithEmptyPlaylistOnlyStops)
{
    frmMain &w = withSongs(0);
    w.PlayFile = song(QStringLiteral("loose.mid"));
    w.imgControls_Click(1);
    device.log.clear();
    w.imgControls_Click(4);
    EXPECT_TRUE(w.Stopped);
    EXPECT_TRUE(device.log.isEmpty()); // the song sounds on
    EXPECT_TRUE(device.isPlaying());
    w.MCI_StatusUpdate(); // its progress display goes
    EXPECT_TRUE(w.lblPct->isHidden());
    w.imgControls_Click(1); // and the play image starts it from the beginning
    EXPECT_EQ(device.log.mid(0, 2),
              (QStringList{QStringLiteral("Close"), QStringLiteral("Open ") + w.PlayFile}));
}

TEST_F(PlayFlowTest, DeviceNotificationsOnlyMatterWithoutPlaylist)
{
    frmMain &w = withSongs(0);
    w.PlayFile = song(QStringLiteral("loose.mid"), 3000);
    w.imgControls_Click(1);

    // The status update's end-of-song advance came first: the song starts again.
    w.MCI_Done(0);
    device.finish();
    device.log.clear();
    pump();
    EXPECT_EQ(device.opened(), QStringList{w.PlayFile});
    EXPECT_FALSE(w.Stopped);

    // The notification came first: nothing; the next advance leaves it stopped.
    device.finish();
    device.log.clear();
    pump();
    EXPECT_TRUE(device.log.isEmpty());

    // Aborted: one status update, which hides the bar when stopped.
    w.Stopped = true;
    w.lblPct->show();
    w.MCI_Done(4);
    EXPECT_TRUE(w.lblPct->isHidden());

    // With a playlist the device's notifications change nothing.
    w.lstPlay.append(s(0));
    w.lstPlay.append(song(QStringLiteral("other.mid")));
    w.UpdateMIDI();
    device.log.clear();
    w.MCI_Done(1);
    w.MCI_Done(4);
    EXPECT_TRUE(device.log.isEmpty());
}

TEST_F(PlayFlowTest, PlayThisMidiWithNothingSelectedReachesEntryZeroAfterOneUpdate)
{
    frmMain &w = withSongs(3);
    ASSERT_EQ(w.lstMIDI->ListIndex(), -1);
    w.btnPlay_Click();
    EXPECT_EQ(w.PlayIndex, -1);
    EXPECT_EQ(device.Length(), 0);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_EQ(device.openFile(), s(0));
}

TEST_F(PlayFlowTest, PlayMenuFollowsThePlaylistAndTheCurrentSong)
{
    frmMain &w = withSongs(5);
    play(w, 3);
    w.songMenu->build();
    EXPECT_EQ(w.songMenu->captions(),
              (QStringList{QStringLiteral("s0"), QStringLiteral("s1"), QStringLiteral("s2"),
                           QStringLiteral("s3"), QStringLiteral("s4")}));
    EXPECT_EQ(w.songMenu->checkedRow(), 3);
    EXPECT_TRUE(w.songMenu->separatorVisible());

    // Shrink to two entries: exactly two items, the check where PlayIndex is.
    w.lstPlay = {s(4), s(1)};
    w.lstMIDI->Clear();
    w.PlayIndex = 1;
    w.UpdateMIDI();
    w.songMenu->build();
    EXPECT_EQ(w.songMenu->captions(), (QStringList{QStringLiteral("s4"), QStringLiteral("s1")}));
    EXPECT_EQ(w.songMenu->checkedRow(), 1);

    // Nothing chosen yet: no check; empty playlist: no separator, no songs.
    w.PlayIndex = -1;
    w.UpdateMIDIMenu();
    w.songMenu->build();
    EXPECT_EQ(w.songMenu->checkedRow(), -1);
    w.lstPlay.clear();
    w.lstMIDI->Clear();
    w.UpdateMIDI();
    w.songMenu->build();
    EXPECT_TRUE(w.songMenu->captions().isEmpty());
    EXPECT_FALSE(w.songMenu->separatorVisible());
}

TEST_F(PlayFlowTest, LongPlaylistMenuShowsEverySongWithTheCheck)
{
    frmMain &w = withSongs(0);
    for (int i = 0; i < SongMenu::PlainItemLimit + 50; ++i)
        w.lstPlay.append(QStringLiteral("/m/t%1.mid").arg(i));
    w.UpdateMIDI();
    w.PlayIndex = 7;
    w.UpdateMIDIMenu();
    w.songMenu->build();
    EXPECT_TRUE(w.songMenu->isList());
    EXPECT_EQ(w.songMenu->captions().size(), SongMenu::PlainItemLimit + 50);
    EXPECT_EQ(w.songMenu->captions().at(7), QStringLiteral("t7"));
    EXPECT_EQ(w.songMenu->checkedRow(), 7);
    // Back under the limit: plain items again.
    w.lstPlay = w.lstPlay.mid(0, 3);
    w.lstMIDI->Clear();
    w.UpdateMIDI();
    w.songMenu->build();
    EXPECT_FALSE(w.songMenu->isList());
    EXPECT_EQ(w.songMenu->captions().size(), 3);
}

TEST_F(PlayFlowTest, PlaylistCues)
{
    frmMain &w = withSongs(1);
    w.lstMIDI_MouseMove();
    EXPECT_EQ(w.lblHelp->text(), QStringLiteral("Drag any folder or MIDI files here"));
    EXPECT_FALSE(w.lblHelp->isHidden());
    w.lstMIDI_GotFocus();
    EXPECT_TRUE(w.btnPlay->font().bold());
    w.lstMIDI_LostFocus();
    EXPECT_FALSE(w.btnPlay->font().bold());
}

} // namespace

// The once-a-second song line and bar, the end-of-song rule, and seeking by
// dragging the bar.
#include "app/frmDummy.h"
#include "playback/Progress.h"
#include "support/WindowFixture.h"

namespace {

class ProgressTest : public WindowFixture
{
protected:
    frmMain &playing(qint32 lengthMs, int songs = 2)
    {
        frmMain &w = window();
        w.Form_Load();
        w.Global.ResetMode = 0;
        w.lstPlay.append(song(QStringLiteral("Etude.mid"), lengthMs));
        for (int i = 1; i < songs; ++i)
            w.lstPlay.append(song(QStringLiteral("next%1.mid").arg(i)));
        w.UpdateMIDI();
        w.MCI_Done(0);
        return w;
    }
    int barWidthTwips(frmMain &w) { return w.shpBarProg->width() * TwipsPerPixel; }
};

TEST(FormatTimeTest, MinutesAndTwoDigitSeconds)
{
    EXPECT_EQ(FormatTime(0), QStringLiteral("0:00"));
    EXPECT_EQ(FormatTime(999), QStringLiteral("0:00"));
    EXPECT_EQ(FormatTime(59999), QStringLiteral("0:59"));
    EXPECT_EQ(FormatTime(60000), QStringLiteral("1:00"));
    EXPECT_EQ(FormatTime(185600), QStringLiteral("3:05"));
    EXPECT_EQ(FormatTime(3600000), QStringLiteral("60:00"));
    EXPECT_EQ(FormatTime(INT32_MAX), QStringLiteral("35791:23"));
    EXPECT_EQ(FormatTime(-5000), QStringLiteral("0:00"));
}

TEST_F(ProgressTest, SongLineTooltipAndBar)
{
    frmMain &w = playing(185600);
    device.setPosition(83000);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.lblSongName->text(), QStringLiteral("Etude (3:05) - 1:23"));
    EXPECT_EQ(w.lblSongName->toolTip(), dir.filePath(QStringLiteral("Etude.mid")));
    EXPECT_EQ(w.dummyForm()->windowTitle(), QStringLiteral("Etude (3:05) - 1:23"));
    EXPECT_EQ(w.lblPct->text(), QStringLiteral("44%"));
    EXPECT_FALSE(w.lblPct->isHidden());
    EXPECT_EQ(w.shpBarProg->width(), px(44 * 18));

    device.setPosition(0);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.lblPct->text(), QStringLiteral("0%"));
    EXPECT_EQ(w.shpBarProg->width(), 0);
}

TEST_F(ProgressTest, StoppedHidesBarAndKeepsLastLine)
{
    frmMain &w = playing(185600);
    device.setPosition(1000);
    w.MCI_StatusUpdate();
    w.imgControls_Click(3);
    w.MCI_StatusUpdate();
    EXPECT_TRUE(w.lblPct->isHidden());
    EXPECT_EQ(w.shpBarProg->width(), 0);
    EXPECT_EQ(w.lblSongName->text(), QStringLiteral("Etude (3:05) - 0:01"));
    // No drag starts while stopped.
    w.lblPct_MouseDown(1, 0, 100, 10);
    EXPECT_FALSE(w.Seeking);
}

TEST_F(ProgressTest, SongEndsAtItsLastWholeSecond)
{
    frmMain &w = playing(185600);
    device.setPosition(184999);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, 0);
    // Also when paused there: the status update does not know about pause.
    device.setPosition(185000);
    w.imgControls_Click(2);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, 1);
    EXPECT_EQ(device.openFile(), dir.filePath(QStringLiteral("next1.mid")));
}

TEST_F(ProgressTest, ShortAndEmptySongsAdvanceInTheSameUpdate)
{
    frmMain &w = playing(0);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.lblSongName->text(), QStringLiteral("Etude (0:00) - 0:00"));
    EXPECT_EQ(w.PlayIndex, 1);

    frmMain &w2 = w;
    device.script(dir.filePath(QStringLiteral("short.mid")), 700);
    w2.lstPlay.append(dir.filePath(QStringLiteral("short.mid")));
    w2.UpdateMIDI();
    w2.mnuMID_Click(2);
    w2.MCI_StatusUpdate(); // 0 = 0 in whole seconds
    EXPECT_EQ(w2.PlayIndex, 0);
}

TEST_F(ProgressTest, DraggingTheBarSeeks)
{
    frmMain &w = playing(200000);
    w.lblPct_MouseMove(0, 0, 900, 10);
    EXPECT_EQ(w.lblHelp->text(), QStringLiteral("Drag this bar to jump to specific song location"));
    w.lblPct_MouseDown(1, 0, 900, 10);
    EXPECT_TRUE(w.Seeking);
    w.lblPct_MouseMove(1, 0, 900, 10);
    EXPECT_EQ(w.lblPct->text(), QStringLiteral("50%"));
    EXPECT_EQ(w.lblHelp->text(), QStringLiteral("Move to 1:40"));
    EXPECT_EQ(barWidthTwips(w), 900);
    // The status update leaves the bar alone while dragging.
    device.setPosition(10000);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.lblPct->text(), QStringLiteral("50%"));
    // Outside the bar nothing changes.
    w.lblPct_MouseMove(1, 0, 2500, 10);
    EXPECT_EQ(w.lblHelp->text(), QStringLiteral("Move to 1:40"));
    device.log.clear();
    w.lblPct_MouseUp(1, 0, 900, 10);
    EXPECT_FALSE(w.Seeking);
    EXPECT_EQ(device.log, QStringList{QStringLiteral("Play from 100000")});
    EXPECT_EQ(device.Position(), 100000);
    // A right release also plays from the point under the pointer.
    device.log.clear();
    w.lblPct_MouseUp(2, 0, 450, 10);
    EXPECT_EQ(device.log, QStringList{QStringLiteral("Play from 50000")});
}

TEST_F(ProgressTest, PercentageHoldsForVeryLongSongs)
{
    // Ten hours: the 32-bit product would overflow.
    frmMain &w = playing(36000000);
    device.setPosition(30000000);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.lblPct->text(), QStringLiteral("83%"));
}

} // namespace

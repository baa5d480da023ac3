// The once-a-second song line and bar, the end-of-song rule, and seeking by
// dragging the bar.
#include "player/Progress.h"
#include "support/WindowFixture.h"
#include "ui/frmDummy.h"

using namespace Qt::StringLiterals;

namespace {

class ProgressTest : public WindowFixture
{
protected:
    frmMain &playing(qint32 lengthMs)
    {
        frmMain &w = window();
        w.Form_Load();
        w.Global.ResetMode = 0;
        w.lstPlay.append(QStringList{song(u"Etude.mid"_s, lengthMs), song(u"next.mid"_s)});
        w.UpdateMIDI();
        w.MCI_Done(0);
        return w;
    }
};

TEST(FormatTimeTest, MinutesAndTwoDigitSeconds)
{
    const std::pair<qint32, const char *> cases[] = {
        {0, "0:00"},        {999, "0:00"},           {59999, "0:59"}, {185600, "3:05"},
        {3600000, "60:00"}, {INT32_MAX, "35791:23"}, {-5000, "0:00"}};
    for (const auto &[ms, text] : cases)
        EXPECT_EQ(FormatTime(ms), QLatin1String(text)) << ms;
}

TEST_F(ProgressTest, SongLineAndBarWhilePlayingHiddenWhenStopped)
{
    frmMain &w = playing(185600);
    device.setPosition(83000);
    w.MCI_StatusUpdate();
    const QString line = u"Etude (3:05) - 1:23"_s;
    EXPECT_EQ(w.lblSongName->text(), line);
    EXPECT_EQ(w.lblSongName->toolTip(), dir.filePath(u"Etude.mid"_s));
    EXPECT_EQ(w.dummyForm()->windowTitle(), line);
    EXPECT_EQ(w.lblPct->text(), u"44%"_s);
    EXPECT_EQ(w.shpBarProg->width(), px(44 * 18));

    w.imgControls_Click(3);
    w.MCI_StatusUpdate();
    EXPECT_TRUE(w.lblPct->isHidden());
    EXPECT_EQ(w.shpBarProg->width(), 0);
    EXPECT_EQ(w.lblSongName->text(), line); // the last line stays
    w.lblPct_MouseDown(1, 0, 100, 10);
    EXPECT_FALSE(w.Seeking); // no drag while stopped
}

// A song plays to its end: the update advances once the position has reached
// the length, not before, and also when the song was paused there.
TEST_F(ProgressTest, SongAdvancesOnlyOnceItsPositionReachesItsLength)
{
    frmMain &w = playing(185600);
    for (qint32 position : {185000, 185599}) {
        device.setPosition(position);
        w.MCI_StatusUpdate();
        EXPECT_EQ(w.PlayIndex, 0) << position;
    }
    device.setPosition(185600);
    w.imgControls_Click(2);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, 1);
}

TEST_F(ProgressTest, EmptySongsAdvanceInTheSameUpdateShortOnesPlayToTheirEnd)
{
    frmMain &w = playing(0);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.lblSongName->text(), u"Etude (0:00) - 0:00"_s);
    EXPECT_EQ(w.PlayIndex, 1);
    w.lstPlay.append(song(u"short.mid"_s, 700));
    w.UpdateMIDI();
    w.mnuMID_Click(2);
    w.MCI_StatusUpdate(); // at 0 of 700 ms
    EXPECT_EQ(w.PlayIndex, 2);
    device.finish();
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.PlayIndex, 0);
}

TEST_F(ProgressTest, DraggingTheBarSeeks)
{
    frmMain &w = playing(200000);
    w.lblPct_MouseMove(0, 0, 900, 10);
    EXPECT_EQ(w.lblHelp->text(), u"Drag this bar to jump to specific song location"_s);
    w.lblPct_MouseDown(1, 0, 900, 10);
    w.lblPct_MouseMove(1, 0, 900, 10);
    EXPECT_EQ(w.lblPct->text(), u"50%"_s);
    EXPECT_EQ(w.lblHelp->text(), u"Move to 1:40"_s);
    device.setPosition(10000);
    w.MCI_StatusUpdate();               // leaves the bar alone while dragging
    w.lblPct_MouseMove(1, 0, 2500, 10); // outside the bar: nothing changes
    EXPECT_EQ(w.lblPct->text(), u"50%"_s);
    EXPECT_EQ(w.lblHelp->text(), u"Move to 1:40"_s);
    device.log.clear();
    w.lblPct_MouseUp(1, 0, 900, 10);
    w.lblPct_MouseUp(2, 0, 450, 10); // a right release plays from there too
    EXPECT_FALSE(w.Seeking);
    EXPECT_EQ(device.log, (QStringList{u"Play from 100000"_s, u"Play from 50000"_s}));
}

TEST_F(ProgressTest, PercentageHoldsForVeryLongSongs)
{
    frmMain &w = playing(36000000); // ten hours: a 32-bit product would overflow
    device.setPosition(30000000);
    w.MCI_StatusUpdate();
    EXPECT_EQ(w.lblPct->text(), u"83%"_s);
}

} // namespace

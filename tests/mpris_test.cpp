// The media player's calls on a window with a scripted device: each does what
// the window's own control does, whatever state the player is in.
#include "mpris/MprisService.h"
#include "support/WindowFixture.h"

#include <QDBusObjectPath>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

using MprisTest = WindowFixture;

TEST_F(MprisTest, PlayPauseAndStopFollowThePlayersState)
{
    frmMain &w = withSongs(2);
    MprisService mpris(w);
    EXPECT_EQ(mpris.playbackStatus(), u"Stopped"_s);
    EXPECT_FALSE(mpris.canPause());

    w.mnuMID_Click(1);
    device.log.clear();
    EXPECT_EQ(mpris.playbackStatus(), u"Playing"_s);
    mpris.play(); // playing already: nothing
    EXPECT_TRUE(device.log.isEmpty());
    mpris.playPause();
    EXPECT_EQ(mpris.playbackStatus(), u"Paused"_s);
    mpris.pause(); // paused already: it must not resume
    EXPECT_EQ(mpris.playbackStatus(), u"Paused"_s);
    mpris.play();
    EXPECT_EQ(mpris.playbackStatus(), u"Playing"_s);
    EXPECT_EQ(device.log, (QStringList{u"Pause"_s, u"Resume"_s}));

    mpris.stop();
    EXPECT_EQ(mpris.playbackStatus(), u"Stopped"_s);
    EXPECT_EQ(mpris.positionUs(), 0);
    mpris.playPause(); // from stopped: the play image opens the song again
    EXPECT_EQ(device.openFile(), s(1));
    EXPECT_EQ(mpris.playbackStatus(), u"Playing"_s);
}

TEST_F(MprisTest, SeekStaysInTheSongAndPastItsEndGoesToTheNext)
{
    frmMain &w = withSongs(3);
    MprisService mpris(w);
    mpris.seek(5000000); // stopped: nothing
    EXPECT_TRUE(device.log.isEmpty());

    w.mnuMID_Click(0);
    device.setPosition(10000);
    device.log.clear();
    struct Case
    {
        qlonglong offsetUs;
        QString command;
    };
    for (const Case &c : {Case{5000000, u"Play from 15000"_s}, Case{-30000000, u"Play from 0"_s}}) {
        mpris.seek(c.offsetUs);
        EXPECT_EQ(device.log.value(0), c.command);
        device.log.clear();
    }
    EXPECT_EQ(mpris.metadata().value(u"mpris:length"_s).toLongLong(), 60000000);
    const QString track =
        mpris.metadata().value(u"mpris:trackid"_s).value<QDBusObjectPath>().path();
    mpris.setPosition(u"/org/sonabel/track/7"_s, 1000000); // another track: ignored
    mpris.setPosition(track, 61000000);                    // past the end: ignored
    EXPECT_TRUE(device.log.isEmpty());
    mpris.setPosition(track, 30000000);
    EXPECT_EQ(device.log, QStringList{u"Play from 30000"_s});

    mpris.seek(70000000);
    EXPECT_EQ(device.openFile(), s(1));
    EXPECT_EQ(mpris.metadata().value(u"xesam:title"_s).toString(), u"s1"_s);
}

TEST_F(MprisTest, RaiseUnshadesAndOpenUriTakesLocalFilesOnly)
{
    frmMain &w = withSongs(1);
    MprisService mpris(w);
    if (!w.mnuShade->isChecked())
        w.mnuShade_Click();
    mpris.raise();
    EXPECT_FALSE(w.mnuShade->isChecked());
    EXPECT_EQ(w.heightTwips(), 3150);

    mpris.openUri(u"http://example.org/x.mid"_s);
    EXPECT_EQ(w.lstPlay.size(), 1);
    const QString added = song(u"new song.mid"_s);
    mpris.openUri(QUrl::fromLocalFile(added).toString());
    EXPECT_EQ(w.lstPlay.at(1), added);
}

} // namespace

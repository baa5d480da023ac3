// The Player of a window on a scripted device: which song plays, the reset
// before a song, the previous-button window, the transport and the media
// player's calls on it, device notifications, the end of a song, the words;
// a song opening on the real device; the window's play menu, song line and
// bar; then the real program as a media player on a private session bus,
// driven with gdbus the way media keys and desktop widgets are.
#include "engine/MidiSequencer.h"
#include "engine/SilentOutput.h"
#include "engine/Timeline.h"
#include "mpris/MprisService.h"
#include "player/Player.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"
#include "ui/LyricLabel.h"
#include "ui/SongMenu.h"
#include "ui/frmDummy.h"

#include <QAccessible>
#include <QAction>
#include <QDBusObjectPath>
#include <QListView>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The words of a song.
std::shared_ptr<const Lyrics> wordsOf(const Syllables &syllables, int seconds)
{
    const MidiFile file = MidiFile::parse(karaokeSong(syllables, seconds));
    return std::make_shared<const Lyrics>(Lyrics::read(file, Timeline::build(file)->tempoMap()));
}

// The Player of a window on the fakes, the window not loaded until
// withSongs() gives it songs s0 … s(n-1) of a minute each; the window's play
// handlers on the same.
class PlayerTest : public WindowFixture
{
protected:
    // Song k of n plays, the first lengthMs long; the device's log is cleared.
    frmMain &playing(int n, int k, qint32 lengthMs = 60000)
    {
        withSongs(n);
        device.script(s(0), lengthMs);
        player.playEntry(k);
        device.log.clear();
        return window();
    }

    Player &player = window().player;
};

// "Play this MIDI" with nothing selected leaves the index before the first
// entry, which the next update brings to it. The advance wraps, the current
// entry chosen again restarts as a song of its own, and the reset plays
// before every song an advance starts, only then.
TEST_F(PlayerTest, WhichSongAdvancesAndWhenTheResetPlays)
{
    withSongs(3);
    player.playEntry(-1);
    player.statusUpdate();
    EXPECT_EQ(device.openFile(), s(0));

    player.playEntry(2);
    device.log.clear();
    const quint64 number = player.songNumber();
    player.advance();
    EXPECT_EQ(device.log, (QStringList{u"Close"_s, u"Close"_s, u"Open "_s + s(0), u"Play"_s}));
    device.log.clear();
    player.playEntry(0);
    EXPECT_EQ(device.opened(), QStringList{s(0)});
    EXPECT_EQ(player.songNumber(), number + 2);

    // The reset plays before each song an advance starts, and nothing waits for it.
    device.script(u"/p/GM.MID"_s, 80);
    player.setReset(1, u"/p/GM.MID"_s);
    device.log.clear();
    player.advance();
    player.advance();
    EXPECT_EQ(device.opened(), (QStringList{u"/p/GM.MID"_s, s(1), u"/p/GM.MID"_s, s(2)}));
    EXPECT_FALSE(device.log.contains(u"Play wait"_s));
    // Not before a restart, a re-open by the play action or a seek.
    device.log.clear();
    player.previous();
    player.stop();
    player.play();
    player.seek(900);
    EXPECT_FALSE(device.opened().contains(u"/p/GM.MID"_s));
}

TEST_F(PlayerTest, PreviousRestartsThenGoesBackWhileTheWindowIsOpen)
{
    playing(8, 5);
    QSignalSpy seeked(&player, &Player::seeked);
    player.previous();
    EXPECT_EQ(device.log, QStringList{u"Play from 0"_s});
    EXPECT_EQ(seeked.size(), 1);
    player.previous();
    EXPECT_EQ(device.openFile(), s(4));
    player.previous();
    EXPECT_EQ(device.openFile(), s(3));
    // Once the window has closed the next press restarts again.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        device.log.clear();
        player.previous();
        return device.log == QStringList{u"Play from 0"_s};
    }));
    // From the first song, going back wraps round to it.
    player.playEntry(0);
    player.back();
    EXPECT_EQ(device.openFile(), s(0));
}

// The transport follows the state table, and the bus's calls keep its rules:
// Pause on a paused song does not resume it, PlayPause from stopped opens the
// song again, a seek stays in the song and past its end goes to the next,
// SetPosition counts only for the song playing, OpenUri gives a local path.
TEST_F(PlayerTest, TransportAndTheMediaPlayersCallsFollowTheStateTable)
{
    withSongs(3);
    MprisService mpris(player);
    EXPECT_EQ(mpris.playbackStatus(), u"Stopped"_s);
    player.playEntry(0);
    device.log.clear();
    QList<Player::State> told;
    QObject::connect(&player, &Player::stateChanged,
                     [&](Player::State state) { told.append(state); });
    player.play();
    EXPECT_TRUE(device.log.isEmpty()); // playing: play does nothing
    player.pause();
    player.play();
    EXPECT_EQ(player.state(), Player::State::Paused); // paused: nothing either
    player.pause();
    EXPECT_EQ(player.state(), Player::State::Playing); // pause twice resumes
    player.stop();
    EXPECT_TRUE(device.openFile().isEmpty());
    player.seekBy(5000); // stopped: no seek
    EXPECT_EQ(device.log.last(), u"Close"_s);
    player.play(); // stopped: the current song opens and plays again
    EXPECT_EQ(device.openFile(), s(0));
    // Seek steps stay within the song.
    device.log.clear();
    for (const auto &[at, step] : {std::pair{2000, -5000}, std::pair{58000, 5000}}) {
        device.setPosition(at);
        player.seekBy(step);
    }
    EXPECT_EQ(device.log, (QStringList{u"Play from 0"_s, u"Play from 60000"_s}));
    EXPECT_EQ(told, (QList<Player::State>{Player::State::Paused, Player::State::Playing,
                                          Player::State::Stopped, Player::State::Playing}));

    // The bus.
    QSignalSpy opened(&mpris, &MprisService::openRequested);
    player.playEntry(1);
    device.log.clear();
    mpris.play(); // playing already: nothing
    mpris.playPause();
    mpris.pause(); // paused already: it must not resume
    EXPECT_EQ(device.log, QStringList{u"Pause"_s});
    mpris.stop();
    EXPECT_EQ(mpris.playbackStatus(), u"Stopped"_s);
    mpris.playPause(); // from stopped: the song opens again
    EXPECT_EQ(device.openFile(), s(1));

    device.setPosition(10000);
    device.log.clear();
    mpris.seek(5000000);
    mpris.seek(-30000000);
    const QString track =
        mpris.metadata().value(u"mpris:trackid"_s).value<QDBusObjectPath>().path();
    mpris.setPosition(track, 61000000);                     // past the end
    mpris.setPosition(u"/org/sonabel/track/1"_s, 20000000); // another song's
    EXPECT_EQ(device.log, (QStringList{u"Play from 15000"_s, u"Play from 0"_s}));
    mpris.seek(70000000);
    EXPECT_EQ(device.openFile(), s(2));

    mpris.openUri(u"file:///m/new%20song.mid"_s);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened.at(0).at(0).toString(), u"/m/new song.mid"_s);
}

TEST_F(PlayerTest, SongOutsideThePlaylistEndsByNotification)
{
    device.script(u"/m/loose.mid"_s, 3000);
    player.playFile(u"/m/loose.mid"_s);
    // Next with an empty playlist only stops: the song sounds on.
    device.log.clear();
    player.advance();
    EXPECT_TRUE(player.isStopped());
    EXPECT_TRUE(device.log.isEmpty());
    // Its end then starts it again.
    device.finish();
    QCoreApplication::processEvents();
    EXPECT_EQ(device.opened(), QStringList{u"/m/loose.mid"_s});
    EXPECT_FALSE(player.isStopped());
    // With a playlist the device's notices change nothing: the status update
    // moves on.
    device.log.clear();
    window().lstPlay.append(u"/m/loose.mid"_s);
    player.markStopped();
    player.deviceDone(SequencerDevice::NotifySuccessful);
    EXPECT_TRUE(device.log.isEmpty());
}

// On the real device, which reads songs on a worker: while a song opens the
// player says so and waits for it (the status update does not skip it); the
// next song or Stop meanwhile cancel it.
TEST(PlayerOpening, ASongThatOpensIsWaitedForOrCancelled)
{
    QTemporaryDir dir;
    PlaylistModel playlist;
    for (const char *name : {"a.mid", "b.mid", "c.mid"})
        playlist.append(writeSteadySong(dir.filePath(QLatin1String(name)), 20, 500));
    MidiSequencer device(std::make_shared<SilentOutput>(), std::make_shared<SteadyClock>());
    Player player(device, playlist);
    player.playEntry(0);
    EXPECT_EQ(player.state(), Player::State::Opening);
    player.statusUpdate();
    EXPECT_EQ(player.index(), 0);
    player.advance();
    EXPECT_TRUE(QTest::qWaitFor([&] { return player.state() == Player::State::Playing; }));
    EXPECT_EQ(device.Length(), 20000);
    EXPECT_EQ(player.index(), 1);
    player.playEntry(2);
    player.stop();
    QTest::qWait(200);
    EXPECT_EQ(device.Length(), 0);
    EXPECT_EQ(player.state(), Player::State::Stopped);
}

// A song plays to its end: the update advances once the position has reached
// the length and its last notes have rung out, not before. (An empty song
// advances in the same update: the song line's test.)
TEST_F(PlayerTest, SongAdvancesOnlyOnceItsPositionReachesItsLength)
{
    playing(3, 0, 185600);
    device.setPosition(185599);
    player.statusUpdate();
    EXPECT_EQ(player.index(), 0);
    device.setPosition(185600);
    player.statusUpdate();
    EXPECT_EQ(player.index(), 1);
    // Ringing out: updates wait; the one the device raises as it ends moves on.
    device.finish(true);
    player.statusUpdate();
    player.statusUpdate();
    EXPECT_EQ(player.index(), 1);
    EXPECT_EQ(player.positionMs(), player.lengthMs());
    device.endRingOut();
    QCoreApplication::processEvents();
    EXPECT_EQ(player.index(), 2);
}

// The words follow the song through seeks, a pause, song changes and its end
// (a stop clears them: the display tests), and move on by themselves when a
// syllable is due; a timer that fires before the song got there (it started
// late) waits on instead of running ahead. They come back when the pointer
// leaves the window with a control's help still up (the display tests watch
// the help winning over them and the shaded strip), and screen readers read
// them as a label named by the line it shows.
TEST_F(PlayerTest, WordsFollowTheSongAndAreReadAloud)
{
    store.values.insert(u"Shade"_s, u"0"_s);
    withSongs(2);
    device.script(s(0), 10000);
    const Syllables syllables = {{1000, "Hel"},   {1200, "lo "},  {1400, "w\xc3\xb6rld"},
                                 {3000, "/How "}, {3200, "are "}, {3400, "you"}};
    device.scriptLyrics(s(0), wordsOf(syllables, 10));
    frmMain &w = window();
    w.show();
    auto *words = w.findChild<LyricLabel *>(u"lblLyric"_s);
    ASSERT_TRUE(words);
    const auto shows = [&](const QString &text, int sung) {
        return words->text() == text && words->sung() == sung;
    };
    const QString hello = u"Hello w\u00f6rld"_s;
    player.playEntry(0);
    EXPECT_TRUE(shows({}, 0)) << "before the first line";
    player.seek(1250);
    EXPECT_TRUE(shows(hello, 6));
    QTest::qWait(400); // the song stands still: the timer's guess is not taken
    EXPECT_TRUE(shows(hello, 6));
    device.setPosition(1400);
    EXPECT_TRUE(ProgramRun::waitFor([&] { return shows(hello, 11); }, 2000))
        << words->text().toStdString() << " " << words->sung();

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&w, &enter);
    w.lblPct_MouseMove(900); // the bar's help, pointer in the window
    EXPECT_FALSE(words->isVisibleTo(&w));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &leave);
    EXPECT_TRUE(words->isVisibleTo(&w));
    QAccessibleInterface *a11y = QAccessible::queryAccessibleInterface(words);
    ASSERT_TRUE(a11y);
    EXPECT_EQ(a11y->text(QAccessible::Name), hello);

    player.pause();
    device.setPosition(3250);
    player.pause(); // the resume shows where the song is at once
    EXPECT_TRUE(shows(u"How are you"_s, 8));
    EXPECT_EQ(a11y->text(QAccessible::Name), u"How are you"_s);
    player.seek(500);
    EXPECT_TRUE(shows({}, 0));
    player.advance(); // a song without words
    EXPECT_TRUE(shows({}, 0));
    player.playEntry(0);
    player.seek(3500);
    EXPECT_TRUE(shows(u"How are you"_s, 11));
    device.setPosition(10000); // its end: the line goes
    Q_EMIT player.positionChanged(10000);
    EXPECT_TRUE(shows({}, 0));
}

// ---- the window's play handlers ----

// The song line and the bar follow the song; a drag holds the bar, shows
// where it would jump and seeks where it is let go; a screen reader sets the
// bar in percent. Stopped, the bar hides and cannot be dragged. The play
// menu follows the playlist and the song playing.
TEST_F(PlayerTest, SongLineBarAndPlayMenuFollowTheSongAndDraggingTheBarSeeks)
{
    frmMain &w = playing(2, 0, 185600);
    device.setPosition(83000);
    w.player.statusUpdate();
    const QString line = u"s0 (3:05) - 1:23"_s;
    EXPECT_EQ(w.lblSongName->text(), line);
    EXPECT_EQ(w.dummyForm()->windowTitle(), line);
    EXPECT_EQ(w.lblPct->text(), u"44%"_s);
    EXPECT_EQ(w.shpBarProg->width(), px(44 * 18));

    w.lblPct_MouseMove(900);
    w.lblPct_MouseDown(Qt::LeftButton);
    w.lblPct_MouseMove(900);
    EXPECT_EQ(w.lblPct->text(), u"50%"_s);
    EXPECT_EQ(w.lblHelp->text(), u"Move to 1:32"_s);
    device.setPosition(10000);
    w.player.statusUpdate();  // leaves the bar alone while dragging
    w.lblPct_MouseMove(2500); // outside the bar: nothing changes
    EXPECT_EQ(w.lblPct->text(), u"50%"_s);
    EXPECT_EQ(w.lblHelp->text(), u"Move to 1:32"_s);
    device.log.clear();
    w.lblPct_MouseUp(Qt::LeftButton, 900);
    w.lblPct_MouseUp(Qt::RightButton, 450); // a right release plays from there too
    EXPECT_FALSE(w.Seeking);
    w.lblPct_SetPercent(25);
    w.lblPct_SetPercent(140); // out of range: kept in
    EXPECT_EQ(device.log, (QStringList{u"Play from 92800"_s, u"Play from 46400"_s,
                                       u"Play from 46400"_s, u"Play from 185600"_s}));

    const QString last = w.lblSongName->text();
    w.imgControls_Click(3);
    w.player.statusUpdate();
    EXPECT_TRUE(w.lblPct->isHidden());
    EXPECT_EQ(w.shpBarProg->width(), 0);
    EXPECT_EQ(w.lblSongName->text(), last); // the last line stays
    w.lblPct_MouseDown(Qt::LeftButton);
    EXPECT_FALSE(w.Seeking);
    // A song of no length shows as such in the update that moves on.
    device.script(s(0), 0);
    w.mnuMID_Click(0);
    w.player.statusUpdate();
    EXPECT_EQ(w.lblSongName->text(), u"s0 (0:00) - 0:00"_s);
    EXPECT_EQ(w.player.index(), 1);

    // Songs and the one playing (its row checked); over the limit the menu
    // is a list, and after it no dead copy of the list may stay in the menu.
    const std::pair<int, int> steps[] = {
        {5, 3}, {2, -1}, {SongMenu::PlainItemLimit + 50, 7}, {3, 2}, {0, -1}};
    for (const auto &[songs, playIndex] : steps) {
        SCOPED_TRACE(songs);
        const bool list = songs > SongMenu::PlainItemLimit;
        w.lstPlay.clear();
        for (int i = 0; i < songs; ++i)
            w.lstPlay.append(u"/m/t%1.mid"_s.arg(i));
        w.setPlayIndex(playIndex);
        w.UpdateMIDI();
        w.songMenu->build();
        EXPECT_EQ(w.songMenu->captions().size(), songs);
        EXPECT_EQ(w.songMenu->captions().value(1), songs > 1 ? u"t1"_s : QString());
        EXPECT_EQ(w.songMenu->checkedRow(), playIndex);
        EXPECT_EQ(w.songMenu->isList(), list);
        // Only the current song's item is checkable: others would show a box.
        const QList<QAction *> items = w.mnuPlay->actions();
        EXPECT_EQ(std::count_if(items.begin(), items.end(),
                                [](QAction *a) { return a->isVisible() && a->isCheckable(); }),
                  !list && playIndex >= 0 ? 1 : 0);
        // Shown, the menu holds a list only in the list form.
        w.mnuPlay->popup(QPoint(0, 0));
        const QList<QListView *> shown = w.mnuPlay->findChildren<QListView *>();
        EXPECT_EQ(std::count_if(shown.begin(), shown.end(), [](auto *l) { return l->isVisible(); }),
                  list ? 1 : 0);
        w.mnuPlay->hide();
    }
}

// ---- the real program on a session bus ----

// What plays and the transport over the bus (a jump for another track is
// refused and the calls reach the device: the unit test above; a pause
// holding the song on the real device: sound_test), the types it takes, and
// the Volume, which is the Sound dialog's: a share of its slider's range (the
// gain up to its top), kept within it and in [Sound] Gain, and announced
// (what it sounds like on the real synthesizer: sound_test).
TEST(MediaPlayer, TransportVolumeAndPropertiesOverTheBus)
{
    ProgramRun run;
    if (!run.startSessionBus())
        GTEST_SKIP() << "no dbus-daemon or gdbus";
    const auto waitForGet = [&](const QString &property, const QString &part) {
        return ProgramRun::waitFor([&] { return run.mprisGet(property).contains(part); }, 20000);
    };
    // A folder whose name a URI must encode; the first song has words.
    const QString folder = run.scratch(u"my s\u00f6ngs"_s);
    writeKaraokeSong(folder + u"/alpha.mid"_s, {{100, "\\Hel"}, {300, "lo "}, {600, "/world"}}, 40);
    for (const QString &name : {u"beta.mid"_s, u"gamma.mid"_s})
        writeSteadySong(folder + u'/' + name, 40, 500);
    run.workingDirectory = run.scratch();
    QProcess *player = run.start({u"my s\u00f6ngs"_s});
    // Once on the bus, the first song plays, with its title, length, words
    // and its absolute URL.
    ASSERT_TRUE(waitForGet(u"PlaybackStatus"_s, u"'Playing'"_s));
    EXPECT_TRUE(waitForGet(u"Metadata"_s, u"'xesam:asText': <'Hello\\nworld'>"_s))
        << run.mprisGet(u"Metadata"_s).toStdString();
    QProcess *monitor = run.monitorBus();
    QString announced;
    const auto heard = [&](const QString &part) {
        return heardOnBus(monitor, &announced, part);
    };

    const QString metadata = run.mprisGet(u"Metadata"_s);
    for (const QString &part :
         {u"'xesam:title': <'alpha'>"_s, u"'mpris:length': <int64 40000000>"_s,
          u"'xesam:url': <'file:///"_s, u"/my%20s%C3%B6ngs/alpha.mid'>"_s})
        EXPECT_TRUE(metadata.contains(part)) << metadata.toStdString();
    EXPECT_TRUE(run.mprisGet(u"Volume"_s).contains(u"<0.1"_s)); // the default gain, 0.2

    run.mpris(u"Pause"_s);
    EXPECT_TRUE(heard(u"'PlaybackStatus': <'Paused'>"_s)) << announced.toStdString();
    run.mpris(u"Play"_s);
    EXPECT_TRUE(waitForGet(u"PlaybackStatus"_s, u"'Playing'"_s));
    run.mpris(u"Next"_s);
    EXPECT_TRUE(heard(u"'xesam:title': <'beta'>"_s)) << announced.toStdString();

    // A jump within the song playing.
    const QString track = QRegularExpression(u"objectpath '([^']+)'"_s)
                              .match(run.mprisGet(u"Metadata"_s))
                              .captured(1);
    ASSERT_FALSE(track.isEmpty());
    run.mpris(u"SetPosition"_s, {track, u"20000000"_s});
    EXPECT_TRUE(heard(u".Seeked (int64 20000000"_s)) << announced.toStdString();

    // The types it takes.
    EXPECT_TRUE(run.mpris(u"org.freedesktop.DBus.Properties.Get"_s,
                          {u"org.mpris.MediaPlayer2"_s, u"SupportedMimeTypes"_s})
                    .contains(u"'audio/midi'"_s));

    // The volume set over the bus is kept within its range.
    for (const auto &[set, kept] :
         {std::pair{u"<7.0>"_s, u"<1.0"_s}, std::pair{u"<0.0>"_s, u"<0.0"_s}}) {
        run.mpris(u"org.freedesktop.DBus.Properties.Set"_s,
                  {u"org.mpris.MediaPlayer2.Player"_s, u"Volume"_s, set});
        EXPECT_TRUE(run.mprisGet(u"Volume"_s).contains(kept)) << set.toStdString();
    }
    EXPECT_TRUE(heard(u"'Volume': <0.0>"_s)) << announced.toStdString();
    // Quit, which keeps the playlist, in every state: window_display_test.
    run.mpris(u"org.mpris.MediaPlayer2.Quit"_s);
    ASSERT_TRUE(player->waitForFinished(Patience));
    EXPECT_EQ(QSettings(run.iniFile(), QSettings::IniFormat).value(u"Sound/Gain"_s).toString(),
              u"0"_s);
}

} // namespace

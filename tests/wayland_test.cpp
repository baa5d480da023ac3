// The player in a Wayland session, on weston's headless compositor: with
// XWayland it is an X client (where a window can place itself) unless the user
// chose a platform; on Wayland alone it starts, plays and closes cleanly,
// keeping the position saved by an earlier session. Weston has no input
// devices here, so what a drag does is the window tests' business.
#include "support/ProgramRun.h"
#include "support/RealDisplay.h"
#include "support/Wav.h"

#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Desktop = RealDisplay::Desktop;

// Snap and on top on, at 100, 30 px.
const PlayerSettings Settings{true, true, 1500, 450};

// The protocol log of a program run with WAYLAND_DEBUG=client names each
// window it shows as a Wayland window.
bool showsWaylandWindow(const ProgramRun &run)
{
    return ProgramRun::waitFor([&] { return readBytes(run.errorFile).contains("xdg_toplevel@"); },
                               Patience);
}

#define START_WESTON(display)                                                                      \
    if ((display).compositorUnavailable())                                                         \
        GTEST_SKIP() << (display).failure().toStdString();                                         \
    ASSERT_TRUE((display).isUp()) << (display).failure().toStdString()

TEST(WaylandSession, WithXWaylandTheWindowIsAnXWindowUnlessTheUserChoseWayland)
{
    RealDisplay display(QSize(1280, 800), Desktop::WestonWithXWayland);
    START_WESTON(display);
    ProgramRun run;
    writePlayerSettings(run, Settings);
    QProcess *player = display.start(run);
    const quint64 main = display.waitForMainWindow(player);
    ASSERT_NE(main, 0u) << "no X window: the player went to Wayland itself";
    const RealDisplay::WindowInfo info = display.info(main);
    EXPECT_TRUE(info.viewable);
    EXPECT_EQ(info.geometry.size(), QSize(301, 210));
    ASSERT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(player->exitCode(), 0);

    // The toolkit's own option is the user's choice, and is kept.
    ProgramRun chosen;
    writePlayerSettings(chosen, Settings);
    chosen.errorFile = chosen.scratch(u"stderr"_s);
    chosen.environment.insert(u"WAYLAND_DEBUG"_s, u"client"_s);
    player = display.start(chosen, {u"-platform"_s, u"wayland"_s});
    EXPECT_TRUE(showsWaylandWindow(chosen));
    EXPECT_TRUE(display.windows(player->processId(), {}, false).isEmpty());
    ASSERT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(player->exitCode(), 0);
}

TEST(WaylandSession, WithoutXWaylandThePlayerStartsPlaysAndClosesCleanly)
{
    RealDisplay display(QSize(1280, 800), Desktop::Weston);
    START_WESTON(display);
    ProgramRun run;
    writePlayerSettings(run, Settings);
    const QString song = writeSteadySong(run.scratch(u"steady.mid"_s), 30, 200);
    const QString wav = run.scratch(u"out.wav"_s);
    run.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
    run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"file"_s);
    run.environment.insert(u"SONABEL_AUDIO_FILE"_s, wav);
    run.environment.insert(u"SONABEL_SOUNDFONT"_s, u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s);
    run.environment.insert(u"WAYLAND_DEBUG"_s, u"client"_s);
    run.errorFile = run.scratch(u"stderr"_s);

    QProcess *player = display.start(run, {song});
    EXPECT_TRUE(showsWaylandWindow(run));
    // Two seconds of 44.1 kHz stereo 16-bit sound written.
    EXPECT_TRUE(
        ProgramRun::waitFor([&] { return QFileInfo(wav).size() > 2 * 44100 * 4; }, Patience));
    ASSERT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(player->exitCode(), 0);

    const Wav written = readWav(wav.toStdString());
    ASSERT_EQ(written.problem, "");
    EXPECT_GT(*std::max_element(written.samples.begin(), written.samples.end()), 1000)
        << "nothing was heard";
    EXPECT_EQ(readLines(run.defaultAlbum()), QStringList{song});
    // Where the compositor placed the window is not the saved position.
    QSettings ini(run.iniFile(), QSettings::IniFormat);
    EXPECT_EQ(ini.value(u"X"_s).toString(), u"1500"_s);
    EXPECT_EQ(ini.value(u"Y"_s).toString(), u"450"_s);
}

} // namespace

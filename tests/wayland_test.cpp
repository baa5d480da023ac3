// The player in a Wayland session, on weston's headless compositor with
// XWayland: there it is an X client (where a window can place itself) unless
// the user chose a platform; as a Wayland client it starts, plays and closes
// cleanly, keeping the position saved by an earlier session. Weston has no
// input devices here, so what a drag does is the window tests' business.
#include "support/ProgramRun.h"
#include "support/RealDisplay.h"
#include "support/Wav.h"

#include <QFileInfo>
#include <QSettings>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(WaylandSession, AnXWindowUnlessTheUserChoseWaylandWhereThePlayerPlaysAndClosesCleanly)
{
    RealDisplay display(RealDisplay::Desktop::Weston);
    if (display.compositorUnavailable())
        GTEST_SKIP() << display.failure().toStdString();
    ASSERT_TRUE(display.isUp()) << display.failure().toStdString();
    // On top, at 100, 30 px.
    ProgramRun run;
    writePlayerSettings(run, true, {1500, 450});
    QProcess *player = display.start(run);
    const quint64 main = display.waitForWindow(player->processId(), u"^Sonabel$"_s);
    ASSERT_NE(main, 0u) << "no X window: the player went to Wayland itself";
    EXPECT_TRUE(display.viewable(main));
    EXPECT_EQ(display.geometry(main).size(), QSize(301, 210));
    ASSERT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(player->exitCode(), 0);

    // The toolkit's own option is the user's choice, and is kept: the protocol
    // log (WAYLAND_DEBUG) names the window a Wayland one.
    ProgramRun chosen;
    writePlayerSettings(chosen, true, {1500, 450});
    const QString song = writeSteadySong(chosen.scratch(u"steady.mid"_s), 30, 200);
    const QString wav = chosen.scratch(u"out.wav"_s);
    chosen.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
    chosen.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"file"_s);
    chosen.environment.insert(u"SONABEL_AUDIO_FILE"_s, wav);
    chosen.environment.insert(u"SONABEL_SOUNDFONT"_s, u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s);
    chosen.environment.insert(u"WAYLAND_DEBUG"_s, u"client"_s);
    chosen.errorFile = chosen.scratch(u"stderr"_s);
    player = display.start(chosen, {u"-platform"_s, u"wayland"_s, song});
    EXPECT_TRUE(ProgramRun::waitFor(
        [&] { return readBytes(chosen.errorFile).contains("xdg_toplevel@"); }, Patience));
    EXPECT_TRUE(display.windows(player->processId(), {}, false).isEmpty());
    // Two seconds of 44.1 kHz stereo 16-bit sound written.
    EXPECT_TRUE(
        ProgramRun::waitFor([&] { return QFileInfo(wav).size() > 2 * 44100 * 4; }, Patience));
    ASSERT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(player->exitCode(), 0);

    const Wav written = readWav(wav.toStdString());
    ASSERT_EQ(written.problem, "");
    EXPECT_GT(peakIn(written, 0, INT64_MAX), 1000) << "nothing was heard";
    EXPECT_EQ(readLines(chosen.defaultAlbum()), QStringList{song});
    // Where the compositor placed the window is not the saved position.
    QSettings ini(chosen.iniFile(), QSettings::IniFormat);
    EXPECT_EQ(ini.value(u"X"_s).toString(), u"1500"_s);
    EXPECT_EQ(ini.value(u"Y"_s).toString(), u"450"_s);
}

} // namespace

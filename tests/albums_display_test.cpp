// Albums on a real display, as a user works with them: the playlist saved
// through the real save dialog, cleared, loaded back through the play menu and
// the real open dialog; then an entry removed with the Delete key.
#include "support/ProgramRun.h"
#include "support/RealDisplay.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using AlbumsOnADisplay = PlayerOnDisplay;

TEST_F(AlbumsOnADisplay, SaveClearLoadBackAndDeleteAnEntry)
{
    // Two real songs in a folder, played in silence.
    QDir().mkpath(run.scratch(u"songs"_s));
    const QString corpus = QStringLiteral(SONABEL_TEST_DATA_DIR) + u"/corpus/jazz-soft/"_s;
    const QString a = run.scratch(u"songs/a.mid"_s), b = run.scratch(u"songs/b.mid"_s);
    ASSERT_TRUE(QFile::copy(corpus + u"test-rpn-00-00-pitch-bend-range.mid"_s, a));
    ASSERT_TRUE(QFile::copy(corpus + u"test-all-gs-sounds.mid"_s, b));
    startPlayer({}, {}, {run.scratch(u"songs"_s)});
    const qint64 pid = program->processId();
    auto typeInto = [&](quint64 dialog, const QString &text) {
        ASSERT_TRUE(display.activate(dialog));
        ASSERT_TRUE(display.tool(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"40"_s, text}));
        ASSERT_TRUE(display.key(u"Return"_s));
    };

    // "Save this album": the dialog opens in the albums folder; a name typed
    // without extension gets ".mal".
    ASSERT_TRUE(display.clickAt(area(2895, 810, 1560, 225).center()));
    const quint64 save = display.waitForWindow(pid, u"^Save this album to$"_s);
    ASSERT_NE(save, 0u) << "the save dialog did not open";
    typeInto(save, u"mine"_s);
    const QString saved = run.programFolder() + u"/Albums/mine.mal"_s;
    ASSERT_TRUE(pollUntil([&] { return QFile::exists(saved); }, 10000)) << "nothing was saved";
    EXPECT_EQ(readBytes(saved), (a + u"\r\n"_s + b + u"\r\n"_s).toUtf8());

    // "Clear album", then Albums > "Load ..." from the play menu (a right
    // click on the song title) and the open dialog.
    ASSERT_TRUE(display.clickAt(area(2895, 1350, 1560, 225).center()));
    ASSERT_TRUE(display.movePointer(area(315, 0, 3030, 195).center()));
    const qsizetype shown = display.windows(pid).size();
    ASSERT_TRUE(display.click(3));
    ASSERT_TRUE(pollUntil([&] { return display.windows(pid).size() > shown; }, 5000))
        << "the play menu did not open";
    ASSERT_TRUE(display.key(u"Down Right Return"_s)); // Albums, its first item: Load ...
    const quint64 open = display.waitForWindow(pid, u"^Open MIDI Album$"_s);
    ASSERT_NE(open, 0u) << "the open dialog did not open";
    typeInto(open, u"mine.mal"_s);
    ASSERT_TRUE(
        pollUntil([&] { return display.windows(pid, u"^Open MIDI Album$"_s).isEmpty(); }, 10000));

    // The first entry of the list clicked and removed with the Delete key.
    ASSERT_TRUE(display.clickAt(origin + QPoint(40, 18 + 6)));
    ASSERT_TRUE(display.key(u"Delete"_s));

    // The player keeps its playlist when it ends: the album came back whole
    // (it was loaded as the current album) and lost its first entry to Delete.
    QThread::msleep(300);
    ASSERT_TRUE(ProgramRun::terminate(program, 30000));
    EXPECT_EQ(readLines(run.defaultAlbum()), QStringList{b});
    QSettings ini(run.iniFile(), QSettings::IniFormat);
    EXPECT_EQ(ini.value(u"Album1"_s).toString(), saved);
    EXPECT_EQ(ini.value(u"onNew"_s).toString(), u"1"_s);        // Load ... interrupts from now on
    EXPECT_EQ(ini.value(u"CurrentAlbum"_s).toString(), u"0"_s); // changed by the removal
}

} // namespace

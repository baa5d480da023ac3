// The player's window on a real X display with a window manager, driven with
// the real pointer and keyboard: hover highlight and help line, drag and the
// top-edge snap, shade and the panel, the position across a restart, minimise
// to the taskbar and back, the about box, "Always on top", the words of a
// song as it plays, the box of a later start that cannot reach the player, a
// giant album loading while the player answers, saving the song that plays as
// audio through the real file dialog,
// and every way to quit in every state the window can be in.
//
// With SONABEL_SCREENSHOT_DIR set, the tests leave pictures of the window
// there (scripts/screenshots uses this for docs/).
#include "platform/InstanceLink.h"
#include "platform/LinkSockets.h"
#include "support/ProgramRun.h"
#include "support/RealDisplay.h"
#include "support/Wav.h"

#include <QBitArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QColor Lit(192, 192, 192);
const QColor Plain(224, 224, 224);

// titleBar: room above the area for the frame the window manager draws.
void keepScreenshot(const QString &name, const QImage &screen, const QRect &area, int titleBar = 0)
{
    const QString folder = qEnvironmentVariable("SONABEL_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        screen.copy(area.adjusted(-8, -8 - titleBar, 8, 8)).save(folder + u'/' + name, "PNG");
}

// An album of a song's line repeated, copies times ten thousand.
bool writeBigAlbum(const QString &path, const QString &song, int copies)
{
    QFile album(path);
    const QByteArray lines = (song + u"\r\n"_s).toUtf8().repeated(10000);
    bool written = album.open(QIODevice::WriteOnly);
    for (int i = 0; i < copies && written; ++i)
        written = album.write(lines) == lines.size();
    return written;
}

} // namespace

TEST_F(PlayerOnDisplay, HoverLightsOneButtonAndExplainsIt)
{
    const QString corpus = QStringLiteral(SONABEL_CORPUS_DIR "/jazz-soft/");
    startPlayer({}, {corpus + u"test-all-gm-sounds.mid"_s, corpus + u"test-c-major-scale.mid"_s,
                     corpus + u"test-multichannel-chords-0.mid"_s});
    EXPECT_TRUE(waitForSongLine()); // for the pictures
    const QRect help = helpLine();
    QProcess *bus = run.monitorBus();
    QString said;

    // Onto "Add an album": it lights and the help line explains it.
    display.movePointer(at(3675, 660));
    display.movePointer(at(3680, 650));
    QImage screen;
    ASSERT_TRUE(waitForColour(2940, 660, Lit, &screen)) << "\"Add an album\" did not light";
    EXPECT_GT(inkIn(screen, help), 20) << "no help text";
    const QImage loadHelp = screen.copy(help);
    keepScreenshot(u"player.png"_s, screen, display.geometry(main));

    // Straight onto "Save this album": exactly that one is lit, with its own text.
    display.movePointer(at(3675, 920));
    ASSERT_TRUE(waitForColour(2940, 920, Lit, &screen));
    EXPECT_TRUE(sameColor(colourAt(screen, 2940, 660), Plain, 2));
    EXPECT_NE(screen.copy(help), loadHelp) << "the help line kept the old text";

    // The arrows light the shape behind them.
    display.movePointer(at(2750, 660));
    ASSERT_TRUE(waitForColour(2715, 600, Lit, &screen)) << "the up arrow's shape did not light";
    EXPECT_TRUE(sameColor(colourAt(screen, 2940, 920), Plain, 2));

    // Over the playlist the lit button stays lit and the help line changes.
    display.movePointer(at(3675, 920));
    ASSERT_TRUE(waitForColour(2940, 920, Lit, &screen));
    const QImage saveHelp = screen.copy(help);
    display.movePointer(at(1200, 1500));
    ASSERT_TRUE(display.waitForScreen([&](const QImage &s) { return s.copy(help) != saveHelp; },
                                      5000, &screen));
    EXPECT_TRUE(sameColor(colourAt(screen, 2940, 920), Lit, 2));
    EXPECT_GT(inkIn(screen, help), 20);

    // Onto the help line itself: everything goes back to normal.
    display.movePointer(at(3400, 2700));
    ASSERT_TRUE(waitForColour(2940, 920, Plain, &screen));
    EXPECT_TRUE(display.waitForScreen([&](const QImage &s) { return inkIn(s, help) == 0; }))
        << "the help line stayed visible";

    // The seek bar explains itself; dragging it shows where the song will go,
    // and the song goes on from there. Desktop widgets hear of each seek.
    const QColor fill(96, 96, 176);
    const QPoint barStart = at(2655 + 150, 360);
    display.movePointer(barStart);
    ASSERT_TRUE(
        display.waitForScreen([&](const QImage &s) { return inkIn(s, help) > 20; }, 5000, &screen))
        << "no help over the seek bar";
    EXPECT_FALSE(sameColor(colourAt(screen, 2655 + 400, 300), fill, 4));
    const QImage barHelp = screen.copy(help);
    display.press(1);
    display.glidePointer(barStart, at(2655 + 1000, 360), 8);
    EXPECT_TRUE(display.waitForScreen(
        [&](const QImage &s) {
            return s.copy(help) != barHelp && sameColor(colourAt(s, 2655 + 400, 300), fill, 4);
        },
        5000))
        << "dragging the bar showed no target";
    display.release(1);
    EXPECT_TRUE(heardOnBus(bus, &said, u".Seeked ("_s)) << "no Seeked after the bar";
    QThread::msleep(1500); // a status update after the seek
    EXPECT_TRUE(sameColor(colourAt(display.screenshot(), 2655 + 400, 300), fill, 4))
        << "the song did not go on from the new place";
    said.clear();
    clickAt(1500, 90);
    display.key(u"Right"_s);
    EXPECT_TRUE(heardOnBus(bus, &said, u".Seeked ("_s)) << "no Seeked after the key";

    // The other play keys: Space pauses and resumes, Page Down and Page Up
    // change songs.
    const std::tuple<const char *, QString, QString> keys[] = {
        {"space", u"PlaybackStatus"_s, u"'Paused'"_s},
        {"space", u"PlaybackStatus"_s, u"'Playing'"_s},
        {"Next", u"Metadata"_s, u"'test-c-major-scale'"_s},
        {"Prior", u"Metadata"_s, u"'test-all-gm-sounds'"_s}};
    for (const auto &[key, property, part] : keys) {
        display.key(QLatin1String(key));
        EXPECT_TRUE(busSays(property, part)) << key;
    }
}

// Tab takes the focus through the controls as they stand, the focused button
// lights and explains itself and takes Space and Return; the play keys act
// only where the focused control leaves them alone.
TEST_F(PlayerOnDisplay, TabReachesTheControlsAndTheFocusedOneKeepsItsKeys)
{
    QStringList songs;
    for (int i = 0; i < 40; ++i)
        songs.append(writeSteadySong(run.scratch(u"k/song%1.mid"_s.arg(i, 2, 10, QLatin1Char('0'))),
                                     60, 500));
    startPlayer({}, songs);
    ASSERT_TRUE(busSays(u"Metadata"_s, u"'song00'"_s));
    QProcess *bus = run.monitorBus();
    QString said;
    const auto tab = [&](int times) {
        return display.key(QStringList(times, u"Tab"_s).join(u' '));
    };

    // From the song title: the transport, the list, the bar, the small
    // buttons, then "Add an album", which lights and shows its help.
    // (The bar is there once the song line shows.)
    ASSERT_TRUE(waitForSongLine());
    clickAt(1500, 90);
    ASSERT_TRUE(tab(12));
    QImage screen;
    EXPECT_TRUE(waitForColour(2940, 660, Lit, &screen)) << "Tab did not reach \"Add an album\"";
    EXPECT_GT(inkIn(screen, helpLine()), 20) << "no help for the focused button";
    // On to "Configuration": Return opens the panel, Space closes it again;
    // Space presses the button instead of pausing the song.
    ASSERT_TRUE(tab(5));
    ASSERT_TRUE(display.key(u"Return"_s));
    ASSERT_TRUE(waitForHeight(5955)) << "Return did not press \"Configuration\"";
    // Into the panel: the option for new entries, then the boxes; Space ticks
    // "Always on top".
    ASSERT_TRUE(tab(4));
    ASSERT_TRUE(display.key(u"space"_s));
    EXPECT_TRUE(pollUntil(
        [&] { return display.netWmState(main).contains(u"_NET_WM_STATE_ABOVE"_s); }, 5000))
        << "Space on \"Always on top\" did not tick it";
    ASSERT_TRUE(display.key(u"shift+Tab shift+Tab shift+Tab shift+Tab space"_s));
    ASSERT_TRUE(waitForHeight(3150)) << "Space did not press \"Configuration\"";
    EXPECT_TRUE(run.mprisGet(u"PlaybackStatus"_s).contains(u"'Playing'"_s));

    // In the list Page Down pages, Space selects and Left and Right move
    // nothing in the song; Return plays the entry the list is at.
    clickAt(1200, 400);
    ASSERT_TRUE(display.key(u"Next space Left Right"_s));
    QThread::msleep(700);
    EXPECT_FALSE(heardOnBus(bus, &said, u".Seeked ("_s, 300)) << "Left or Right in the list seeked";
    EXPECT_TRUE(run.mprisGet(u"Metadata"_s).contains(u"'song00'"_s)) << "Page Down changed songs";
    EXPECT_TRUE(run.mprisGet(u"PlaybackStatus"_s).contains(u"'Playing'"_s)) << "Space paused";
    ASSERT_TRUE(display.key(u"Return"_s));
    EXPECT_TRUE(
        pollUntil([&] { return !run.mprisGet(u"Metadata"_s).contains(u"'song00'"_s); }, 5000))
        << "Return in the list played nothing";

    // The bar, after the list: Right moves the song.
    said.clear();
    ASSERT_TRUE(display.key(u"Tab Right"_s));
    EXPECT_TRUE(heardOnBus(bus, &said, u".Seeked ("_s)) << "Right on the bar did not seek";
}

// What a screen reader sees, read through AT-SPI by tests/a11y_check.py: the
// controls with their roles, names, descriptions and actions, the bar's value,
// the song line, the order Tab takes, a press, and the open menus' items.
TEST_F(PlayerOnDisplay, ScreenReadersSeeTheControlsTheFocusAndTheOpenMenus)
{
    run.environment.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    startPlayer({}, {writeSteadySong(run.scratch(u"a/one.mid"_s), 60, 500),
                     writeSteadySong(run.scratch(u"a/two.mid"_s), 60, 500),
                     writeSteadySong(run.scratch(u"a/three.mid"_s), 60, 500)});
    ASSERT_TRUE(waitForSongLine());
    clickAt(1500, 90);
    QByteArray seen;
    const bool passed = display.tool(u"/usr/bin/python3"_s,
                                     {QStringLiteral(SONABEL_TEST_DATA_DIR "/../a11y_check.py"),
                                      QString::number(program->processId()),
                                      run.environment.value(u"DBUS_SESSION_BUS_ADDRESS"_s)},
                                     &seen, 90000);
    std::printf("%s", seen.constData());
    EXPECT_TRUE(passed);
}

TEST_F(PlayerOnDisplay, DragMovesTheWindowAndTheTopEdgeSnaps)
{
    startPlayer();
    // Drags the song title by delta, in a hand's small steps.
    const auto dragTitle = [&](QPoint delta) {
        origin = display.geometry(main).topLeft();
        const QPoint from = at(1500, 90);
        display.movePointer(from);
        display.press(1);
        display.glidePointer(from, from + delta, 10);
        QThread::msleep(100);
        display.release(1);
    };
    const auto waitForTop = [&](int top) {
        return display.waitForGeometry(main, [&](const QRect &g) { return g.y() == top; });
    };
    // The point under the pointer stays where the button went down.
    dragTitle({60, 40});
    QRect g;
    EXPECT_TRUE(display.waitForGeometry(
        main, [&](const QRect &r) { return r.topLeft() == origin + QPoint(60, 40); }, 5000, &g))
        << "window ended at " << g.x() << "," << g.y();

    // Ending above the screen's top edge snaps to it; just below the threshold too.
    dragTitle({0, -g.y() - 3});
    EXPECT_TRUE(waitForTop(0));
    dragTitle({0, 6}); // 90 twips
    EXPECT_TRUE(waitForTop(0)) << "a top of 90 twips did not snap";
    dragTitle({0, 7}); // 105 twips: stays
    EXPECT_TRUE(waitForTop(7));

    // The left edge never snaps, and with snapping off the top stays too.
    dragTitle({-g.x() + 3, 0});
    EXPECT_TRUE(display.waitForGeometry(main, [](const QRect &r) { return r.x() == 3; }));
    origin = display.geometry(main).topLeft();
    ASSERT_TRUE(menu(3)); // "Snap to top screen"
    QThread::msleep(200);
    dragTitle({0, -3});
    EXPECT_TRUE(waitForTop(4));
}

// The panel, the shade and "Always on top", from the title, the button and
// the menu, change the layout and never the place.
TEST_F(PlayerOnDisplay, ShadePanelAndOnTopKeepThePlaceAndTheLayout)
{
    startPlayer({true, true});
    EXPECT_EQ(display.geometry(main).height(), px(3150));
    const auto above = [&] {
        return display.netWmState(main).contains(u"_NET_WM_STATE_ABOVE"_s);
    };
    EXPECT_TRUE(pollUntil(above, 5000)) << "not on top at the start";
    ASSERT_TRUE(menu(1)); // "Always on top"
    EXPECT_TRUE(pollUntil([&] { return !above(); }, 5000));
    ASSERT_TRUE(menu(1));
    EXPECT_TRUE(pollUntil(above, 5000));

    // Open the panel, shade, unshade: the panel comes back, the place never moves.
    ASSERT_TRUE(configuration(5955)) << "the panel did not open";
    QImage screen;
    display.waitForScreen([](const QImage &) { return true; }, 1000, &screen);
    keepScreenshot(u"panel.png"_s, screen, display.geometry(main));
    ASSERT_TRUE(doubleClickTitle(195)) << "the window did not shade";
    keepScreenshot(u"shaded.png"_s, display.screenshot(), display.geometry(main));
    display.doubleClick(1);
    ASSERT_TRUE(waitForHeight(5955)) << "unshading lost the panel";
    EXPECT_EQ(display.geometry(main).topLeft(), origin);

    // The menu's "Shade Mode" twice, then the panel closed.
    ASSERT_TRUE(menu(2));
    ASSERT_TRUE(waitForHeight(195));
    ASSERT_TRUE(menu(2));
    ASSERT_TRUE(waitForHeight(5955));
    ASSERT_TRUE(configuration(3150));
    EXPECT_EQ(display.geometry(main).topLeft(), origin);
    EXPECT_TRUE(display.info(main).viewable);
}

TEST_F(PlayerOnDisplay, PositionSurvivesARestartAndAClickOnTheTitle)
{
    // A click on the title and a shade right after the start used to take the
    // window to 0,0 and save it there; so did a folder given on the command
    // line, whose scan window opens while the window comes up. A few starts
    // make that visible.
    const QString folder = run.scratch(u"songs/folder"_s);
    makeSongFiles(run, {u"folder/a.mid"_s, u"folder/b.mid"_s});
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        startPlayer({}, {}, round % 2 ? QStringList{folder} : QStringList());
        ASSERT_TRUE(doubleClickTitle(195));
        EXPECT_EQ(display.geometry(main).topLeft(), origin);
        ASSERT_TRUE(doubleClickTitle(3150));
        EXPECT_EQ(display.geometry(main).topLeft(), origin);
        // Ctrl+Q on the title, whose click saves the position too.
        clickAt(1500, 90);
        display.key(u"ctrl+q"_s);
        ASSERT_TRUE(program->waitForFinished(10000)) << "Ctrl+Q did not close the player";
        QSettings ini(run.iniFile(), QSettings::IniFormat);
        EXPECT_EQ(ini.value(u"X"_s).toString(), u"6000"_s);
        EXPECT_EQ(ini.value(u"Y"_s).toString(), u"3000"_s);
    }
}

// The placeholder leaves the taskbar however the window comes back: restored
// or closed from the taskbar, or raised over the bus.
TEST_F(PlayerOnDisplay, MinimiseToTheTaskbarAndBack)
{
    startPlayer();
    ASSERT_TRUE(configuration(5955));
    for (const char *how : {"restored", "closed", "raised"}) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(minimise()) << "the main window stayed on the screen";
        // The taskbar shows the placeholder, minimised, captioned with the song line.
        quint64 placeholder = 0;
        const auto minimised = [&] {
            for (quint64 w : display.windows(program->processId(), u"^Sonabel v"_s, false))
                placeholder =
                    display.netWmState(w).contains(u"_NET_WM_STATE_HIDDEN"_s) ? w : placeholder;
            return placeholder != 0;
        };
        ASSERT_TRUE(pollUntil(minimised, 5000)) << "no minimised placeholder";

        if (how == std::string("closed"))
            display.closeWindow(placeholder);
        else if (how == std::string("restored"))
            display.activate(placeholder);
        else
            run.mpris(u"org.mpris.MediaPlayer2.Raise"_s);
        ASSERT_TRUE(pollUntil([&] { return display.info(main).viewable; }, 5000))
            << "the main window did not come back";
        EXPECT_TRUE(pollUntil(
            [&] { return !display.netWmState(placeholder).contains(u"_NET_WM_STATE_HIDDEN"_s); },
            5000))
            << "the placeholder stayed on the taskbar";
        const QRect back = display.geometry(main);
        EXPECT_EQ(back.topLeft(), origin);
        EXPECT_EQ(back.height(), px(5955)) << "the layout changed";
    }
}

TEST_F(PlayerOnDisplay, AboutBoxIsOneWindowWithAHoverOnClose)
{
    startPlayer();
    ASSERT_TRUE(menu(-1)); // "About ...", the last item
    const quint64 about = display.waitForWindow(program->processId(), u"^About Sonabel$"_s);
    ASSERT_NE(about, 0u) << "no about box";
    ASSERT_TRUE(menu(-1));
    QThread::msleep(500);
    EXPECT_EQ(display.windows(program->processId(), u"^About Sonabel$"_s).size(), 1);

    const QRect box = display.geometry(about);
    const QPoint close = box.topLeft() + QPoint(px(4020 + 290), px(2160 + 110));
    const QPoint lit = box.topLeft() + QPoint(px(4020) + 3, px(2160) + 3);
    display.movePointer(close);
    QImage screen;
    EXPECT_TRUE(display.waitForScreen(
        [&](const QImage &s) { return sameColor(s.pixelColor(lit), Lit, 2); }, 5000, &screen))
        << "\"Close\" did not light";
    keepScreenshot(u"about.png"_s, screen, box, 22);
    display.movePointer(box.topLeft() + QPoint(5, 100)); // the box's background
    EXPECT_TRUE(display.waitForScreen(
        [&](const QImage &s) { return sameColor(s.pixelColor(lit), Plain, 2); }));

    display.clickAt(close);
    EXPECT_TRUE(pollUntil([&] { return !display.info(about).exists; }, 5000))
        << "\"Close\" did not close the about box";
    EXPECT_TRUE(display.info(main).viewable);
}

// Pixels in the colour of the words already sung.
int sungIn(const QImage &screen, const QRect &area)
{
    return pixelsIn(screen, area,
                    [](QColor c) { return c.blue() > 120 && c.red() < 90 && c.green() < 90; });
}

// Which pixels are text, whatever its colour: the shape of the line shown.
QBitArray letters(const QImage &screen, const QRect &area)
{
    QBitArray mask(area.width() * area.height());
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            const QColor c = screen.pixelColor(area.topLeft() + QPoint(x, y));
            mask.setBit(y * area.width() + x, c.red() < 110 && c.green() < 110);
        }
    return mask;
}

// A song's words show in the help line's place as they are sung, the part sung
// in a colour of its own; each line comes on time; a control's help wins while
// the pointer is on it; shaded, the words are on the strip; a stop takes them
// away. (A pause holding the line: player_test.)
TEST_F(PlayerOnDisplay, TheWordsShowAsTheSongIsSung)
{
    // A line every 2.5 s from 1 s on: "Sing along line N", a word each 400 ms.
    Syllables words;
    for (int line = 0; line < 16; ++line) {
        const int at = 1000 + line * 2500;
        words.insert(words.end(), {{at, "/Sing "},
                                   {at + 400, "along "},
                                   {at + 800, "line "},
                                   {at + 1200, std::to_string(line)}});
    }
    startPlayer({}, {writeKaraokeSong(run.scratch(u"words.kar"_s), words, 45)});
    display.movePointer(QPoint(1270, 790)); // away from the window
    const QRect help = helpLine();
    QImage screen;
    ASSERT_TRUE(display.waitForScreen([&](const QImage &s) { return sungIn(s, help) > 10; }, 10000,
                                      &screen))
        << "no words in the help line's place";
    const int sungBefore = sungIn(screen, help);
    EXPECT_GT(inkIn(screen, help), 10) << "nothing left to sing";
    keepScreenshot(u"words.png"_s, screen, display.geometry(main));
    EXPECT_TRUE(
        display.waitForScreen([&](const QImage &s) { return sungIn(s, help) > sungBefore; }, 5000))
        << "the part sung did not grow";

    // Each line comes when it is sung: 1 s after a multiple of 2.5 s.
    const auto songMs = [&] {
        const QRegularExpressionMatch m =
            QRegularExpression(u"int64 (\\d+)"_s).match(run.mprisGet(u"Position"_s));
        return m.hasMatch() ? m.captured(1).toLongLong() / 1000 : -1;
    };
    for (int change = 0; change < 2; ++change) {
        const QBitArray shown = letters(display.screenshot(), help);
        ASSERT_TRUE(display.waitForScreen(
            [&](const QImage &s) { return letters(s, help) != shown && sungIn(s, help) > 0; },
            5000))
            << "the line did not change";
        const qint64 into = (songMs() + 2500 - 1000) % 2500;
        EXPECT_LT(into, 1200) << "a new line showed " << into << " ms after its time";
    }

    // Over a button its help wins; off it, the words are back.
    display.movePointer(at(3675, 660));
    display.movePointer(at(3680, 650));
    EXPECT_TRUE(display.waitForScreen([&](const QImage &s) {
        return sungIn(s, help) == 0 && inkIn(s, help) > 20;
    })) << "the help did not win";
    display.movePointer(at(2595, 1500)); // the window's background
    EXPECT_TRUE(display.waitForScreen([&](const QImage &s) { return sungIn(s, help) > 0; }))
        << "the words did not come back";

    // Shaded: the words on the strip, in place of the title.
    ASSERT_TRUE(doubleClickTitle(195));
    EXPECT_TRUE(display.waitForScreen(
        [&](const QImage &s) { return sungIn(s, area(315, 0, 3030, 195)) > 5; }, 5000))
        << "no words on the strip";
    ASSERT_TRUE(doubleClickTitle(3150));

    // Stop: no words.
    clickAt(4160, 90);
    EXPECT_TRUE(display.waitForScreen([&](const QImage &s) { return inkIn(s, help) == 0; }))
        << "the words stayed after Stop";
}

// A later start whose player does not answer (it holds the session but stands
// still) says so in a box titled "Sonabel", and ends with status 1 once the
// box is closed.
TEST(StartOnDisplay, AStartThatCannotReachThePlayerSaysSo)
{
    RealDisplay display;
    ASSERT_TRUE(display.isUp()) << display.failure().toStdString();
    ProgramRun run;
    InstanceLink stalled(run.runtimeDir());
    ASSERT_EQ(stalled.probe(), InstanceLink::Probe::FirstInstance);
    stalled.close(); // the session stays held; the socket below never answers
    dev_t device;
    ino_t inode;
    const int socket =
        linksockets::makeListener(InstanceLink::socketPath(run.runtimeDir()), &device, &inode);
    ASSERT_GE(socket, 0);
    QProcess *start = display.start(run, {writeBytes(run.scratch(u"a.mid"_s), "MThd")});
    const quint64 box = display.waitForWindow(start->processId(), u"^Sonabel$"_s, Patience);
    ASSERT_NE(box, 0u) << "no message box";
    EXPECT_EQ(start->state(), QProcess::Running); // waiting for the box to be answered
    ASSERT_TRUE(display.activate(box));
    ASSERT_TRUE(display.key(u"Return"_s));
    ASSERT_TRUE(start->waitForFinished(Patience));
    EXPECT_EQ(start->exitCode(), 1);
    ::close(socket);
}

// A long playlist shows in the play menu as one scrolling list, with the song
// that plays checked and in view.
TEST_F(PlayerOnDisplay, PlayMenuOfALongPlaylistShowsTheSongThatPlays)
{
    QStringList songs;
    for (int i = 0; i < 230; ++i)
        songs.append(writeSteadySong(run.scratch(u"long/%1.mid"_s.arg(i)), 20, 500));
    startPlayer({}, songs);
    clickAt(1200, 1500); // the playlist's last entry, played with "Play this MIDI"
    display.key(u"End"_s);
    clickAt(3675, 1732);
    const QList<quint64> before = display.windows(program->processId());
    display.clickAt(at(1500, 90), 3);
    quint64 menu = 0;
    ASSERT_TRUE(pollUntil(
        [&] {
            for (quint64 w : display.windows(program->processId()))
                menu = before.contains(w) ? menu : w;
            return menu != 0;
        },
        5000))
        << "the play menu did not open";
    // A check mark in the margin, below the Albums item.
    const QRect list = display.geometry(menu).adjusted(2, 40, 0, -4);
    EXPECT_TRUE(display.waitForScreen(
        [&](const QImage &s) {
            return inkIn(s, QRect(list.topLeft(), QSize(12, list.height()))) > 5;
        },
        5000))
        << "the current song is not checked in view";
    display.key(u"Escape"_s);
}

// A default album of a million and a half lines is read on a worker: its
// progress window shows, the player answers the bus and a later start
// meanwhile, and its Cancel, clicked, leaves the playlist as it was (the song
// handed over meanwhile then plays). (That the album is kept as it was at the
// close: startup_test.)
TEST_F(PlayerOnDisplay, AGiantAlbumLoadsWhileThePlayerAnswersAndItsCancelKeepsIt)
{
    const QString a = writeSteadySong(run.scratch(u"a.mid"_s), 60, 500);
    const QString b = writeSteadySong(run.scratch(u"b.mid"_s), 60, 500);
    ASSERT_TRUE(writeBigAlbum(run.defaultAlbum(), a, 150));
    startPlayer();
    const qint64 pid = program->processId();
    const quint64 progress = display.waitForWindow(pid, u"^Loading "_s);
    ASSERT_NE(progress, 0u) << "no progress window";

    EXPECT_FALSE(run.mprisGet(u"PlaybackStatus"_s).isEmpty()) << "the bus did not answer";
    QProcess *later = run.start({b});
    ASSERT_TRUE(later->waitForFinished(Patience));
    EXPECT_EQ(later->exitCode(), 0) << "the link did not answer";
    ASSERT_FALSE(display.windows(pid, u"^Loading "_s).isEmpty())
        << "the album was read before the test could look";

    const QPoint cancel = display.geometry(progress).topLeft() + QPoint(px(3825), px(1822));
    ASSERT_TRUE(display.clickAt(cancel));
    EXPECT_TRUE(pollUntil([&] { return display.windows(pid, u"^Loading "_s).isEmpty(); }, 5000))
        << "Cancel did not end the load";
    EXPECT_TRUE(busSays(u"PlaybackStatus"_s, u"Playing"_s, Patience))
        << "the song handed over did not play";
}

// "Save as audio ..." in the corner icon's menu: the real file dialog opens in
// the Music folder, a name typed without an extension saves the song that
// plays as FLAC, tagged with its title, while it plays on.
TEST_F(PlayerOnDisplay, SaveAsAudioWritesTheNamedFlac)
{
    const QString music = run.scratch(u"home/Music"_s);
    ASSERT_TRUE(QDir().mkpath(music));
    run.environment.insert(u"HOME"_s, run.scratch(u"home"_s));
    run.environment.insert(u"SONABEL_SOUNDFONT"_s, u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s);
    startPlayer({}, {writeSteadySong(run.scratch(u"Night Song.mid"_s), 60, 250)});
    ASSERT_TRUE(busSays(u"PlaybackStatus"_s, u"Playing"_s, Patience));

    ASSERT_TRUE(menu(6)); // "Save as audio ..."
    ASSERT_NE(display.waitForWindow(program->processId(), u"^Save as audio$"_s), 0u)
        << "no file dialog";
    QThread::msleep(300);
    display.key(u"ctrl+a s h a r e d Return"_s);
    const QString saved = music + u"/shared.flac"_s;
    Wav flac;
    EXPECT_TRUE(pollUntil(
        [&] {
            flac = readAudio(saved.toStdString());
            return flac.problem.empty();
        },
        Patience))
        << flac.problem;
    EXPECT_TRUE(readBytes(saved).startsWith("fLaC"));
    EXPECT_EQ(flac.title, "Night Song");
    EXPECT_GT(flac.samples.size(), 60u * 44100 * 2);
    EXPECT_TRUE(run.mprisGet(u"PlaybackStatus"_s).contains(u"Playing"_s));
}

// ---- quitting ----

// Every way to quit ends the player at once, whatever is open, and keeps the
// playlist: a termination signal, the bus's Quit and, where the window takes
// keys, Ctrl+Q. (The session manager's quit request: startup_test.)
class QuitOnDisplay : public PlayerOnDisplay, public ::testing::WithParamInterface<const char *>
{
protected:
    // Brings the running player into the state; false when it did not get there.
    bool enter(const QString &state)
    {
        const qint64 pid = program->processId();
        const auto shown = [&](const QString &title) {
            return display.waitForWindow(pid, title) != 0;
        };
        if (state == u"minimised"_s)
            return minimise();
        if (state == u"shaded"_s)
            return doubleClickTitle(195);
        if (state == u"panel open"_s)
            return configuration(5955);
        if (state == u"message box"_s) { // a later start's album names a song that is gone
            run.start({writeLines(run.scratch(u"gone.mal"_s), {run.scratch(u"gone.mid"_s)})});
            return pollUntil([&] { return display.windows(pid, u"^Sonabel$"_s).size() == 2; },
                             10000);
        }
        if (state == u"file dialog"_s) {
            clickAt(1500, 90);
            display.key(u"ctrl+o"_s);
            return shown(u"^Open MIDI Album$"_s);
        }
        if (state == u"about box"_s)
            return menu(-1) && shown(u"^About Sonabel$"_s);
        if (state == u"sound dialog"_s)
            return menu(-2) && shown(u"^Sound$"_s);
        if (state == u"album load"_s) { // a later start's album of a million lines
            const QString big = run.scratch(u"big.mal"_s);
            if (!QFileInfo::exists(big) && !writeBigAlbum(big, run.scratch(u"a.mid"_s), 100))
                return false;
            run.start({big});
            return shown(u"^Loading "_s);
        }
        // A folder scan: long enough to be caught in it.
        const QString tree = run.scratch(u"tree"_s);
        for (int i = 0; i < 2000; ++i)
            QDir().mkpath(tree + u"/f%1/g"_s.arg(i));
        run.start({tree});
        return shown(u"^Searching "_s);
    }
};

TEST_P(QuitOnDisplay, EveryWayToQuitEndsThePlayerAtOnce)
{
    const QString state = QLatin1String(GetParam());
    const QStringList songs = {writeSteadySong(run.scratch(u"a.mid"_s), 60, 500),
                               writeSteadySong(run.scratch(u"b.mid"_s), 60, 500)};
    QStringList routes = {u"SIGTERM"_s, u"Quit"_s};
    if (state == u"shaded"_s || state == u"panel open"_s || state == u"about box"_s)
        routes.append(u"Ctrl+Q"_s);
    for (const QString &route : routes) {
        SCOPED_TRACE(route.toStdString());
        startPlayer({}, songs);
        ASSERT_TRUE(busSays(u"PlaybackStatus"_s, u"<'"_s, Patience));
        ASSERT_TRUE(enter(state)) << "the player did not get there";
        QElapsedTimer took;
        took.start();
        if (route == u"SIGTERM"_s) {
            ::kill(static_cast<pid_t>(program->processId()), SIGTERM);
        } else if (route == u"Quit"_s) {
            run.mpris(u"org.mpris.MediaPlayer2.Quit"_s);
        } else {
            clickAt(1500, 90);
            display.key(u"ctrl+q"_s);
        }
        ASSERT_TRUE(program->waitForFinished(Patience)) << "the player went on";
        const qint64 ms = took.elapsed();
        std::printf("quit %s by %s: %lld ms\n", GetParam(), qPrintable(route),
                    static_cast<long long>(ms));
        EXPECT_LT(ms, 5000);
        EXPECT_EQ(program->exitCode(), 0);
        EXPECT_EQ(readLines(run.defaultAlbum()).mid(0, 2), songs);
    }
}

INSTANTIATE_TEST_SUITE_P(States, QuitOnDisplay,
                         ::testing::Values("minimised", "shaded", "panel open", "message box",
                                           "file dialog", "about box", "sound dialog",
                                           "folder scan", "album load"));

// Under a German locale the player speaks German: its captions, its help lines
// and its windows' titles. A locale that is not generated, as on a fresh
// system, is enough.
TEST_F(PlayerOnDisplay, AGermanLocaleShowsGermanCaptionsAndHelp)
{
    // The "Add an album" caption, and the help line over the seek bar.
    const auto look = [&](const QString &lang, QImage *captionSeen, QImage *helpSeen) {
        run.environment.insert(u"LANG"_s, lang);
        for (const QString &name : {u"LANGUAGE"_s, u"LC_ALL"_s, u"LC_MESSAGES"_s})
            run.environment.remove(name);
        startPlayer({}, {QStringLiteral(SONABEL_CORPUS_DIR "/jazz-soft/test-c-major-scale.mid")});
        EXPECT_TRUE(waitForSongLine()); // then onto the seek bar
        display.movePointer(at(2655 + 140, 350));
        display.movePointer(at(2655 + 150, 360));
        QImage screen;
        ASSERT_TRUE(display.waitForScreen(
            [&](const QImage &s) { return inkIn(s, helpLine()) > 20; }, 5000, &screen))
            << "no help over the seek bar";
        *captionSeen = screen.copy(area(2895, 540, 1560, 240));
        *helpSeen = screen.copy(helpLine());
    };
    QImage englishCaption, englishHelp, germanCaption, germanHelp;
    look(u"C.UTF-8"_s, &englishCaption, &englishHelp);
    clickAt(1500, 90);
    display.key(u"ctrl+q"_s);
    ASSERT_TRUE(program->waitForFinished(10000));

    look(u"de_DE.UTF-8"_s, &germanCaption, &germanHelp);
    EXPECT_NE(germanCaption, englishCaption) << "the caption stayed English";
    EXPECT_NE(germanHelp, englishHelp) << "the help line stayed English";
    ASSERT_TRUE(menu(-1)); // "Über ...", the last item
    EXPECT_NE(display.waitForWindow(program->processId(), u"^Über Sonabel$"_s), 0u)
        << "no about box titled in German";
}

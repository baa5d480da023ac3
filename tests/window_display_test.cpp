// The player's window on a real X display with a window manager, driven with
// the real pointer and keyboard: hover highlight and help line, the seek bar,
// the play keys, Tab and what a screen reader sees, the about box, German
// captions; shade, the panel, "Always on top", minimise to the taskbar and
// back, drag and the top-edge snap; the words of a song as it plays; the play
// menu of a long playlist; albums and audio saved through the real file
// dialogs; and every way to quit in every state the window can be in, which
// keeps the window's place.
//
// With SONABEL_SCREENSHOT_DIR set, the tests leave pictures of the window
// there (scripts/screenshots uses this for docs/).
#include "support/ProgramRun.h"
#include "support/RealDisplay.h"
#include "support/Wav.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QColor Lit(192, 192, 192);
const QColor Plain(224, 224, 224);
const QString Seeked = u".Seeked ("_s;

// titleBar: room above the area for the frame the window manager draws.
void keepScreenshot(const QString &name, const QImage &screen, const QRect &area, int titleBar = 0)
{
    const QString folder = qEnvironmentVariable("SONABEL_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        screen.copy(area.adjusted(-8, -8 - titleBar, 8, 8)).save(folder + u'/' + name, "PNG");
}

// Steady songs of a minute, named prefix00, prefix01, ...
QStringList steadySongs(const ProgramRun &run, const QString &prefix, int count)
{
    QStringList songs;
    for (int i = 0; i < count; ++i)
        songs.append(writeSteadySong(
            run.scratch(u"%1%2.mid"_s.arg(prefix).arg(i, 2, 10, QChar(u'0'))), 60, 500));
    return songs;
}

} // namespace

// The pointer lights one button at a time and the help line explains it; the
// seek bar shows where a drag takes the song, which goes on from there, and
// desktop widgets hear of each seek; the play keys act; the about box is one
// window with a hover on Close. Under a German locale (one not generated, as
// on a fresh system) the captions, the help and the windows' titles are German.
TEST_F(PlayerOnDisplay, PointerKeysAndTheAboutBoxThenInGerman)
{
    const QString corpus = QStringLiteral(SONABEL_CORPUS_DIR "/jazz-soft/");
    const auto startIn = [&](const QString &lang) {
        run.environment.insert(u"LANG"_s, lang);
        for (const QString &name : {u"LANGUAGE"_s, u"LC_ALL"_s, u"LC_MESSAGES"_s})
            run.environment.remove(name);
        startPlayer({}, {corpus + u"test-all-gm-sounds.mid"_s, corpus + u"test-c-major-scale.mid"_s,
                         corpus + u"test-multichannel-chords-0.mid"_s});
        EXPECT_TRUE(waitForSongLine()); // for the pictures, and the bar
    };
    ASSERT_NO_FATAL_FAILURE(startIn(u"C.UTF-8"_s));
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
    EXPECT_TRUE(sameColor(colourAt(screen, 2940, 660), Plain));
    EXPECT_NE(screen.copy(help), loadHelp) << "the help line kept the old text";

    // Onto the help line itself: everything goes back to normal.
    display.movePointer(at(3400, 2700));
    ASSERT_TRUE(waitForColour(2940, 920, Plain));
    EXPECT_TRUE(display.waitForScreen([&](const QImage &s) { return inkIn(s, help) == 0; }))
        << "the help line stayed visible";

    // The seek bar explains itself; dragging it shows where the song will go,
    // and the song goes on from there.
    const QColor fill(96, 96, 176);
    const QPoint barStart = at(2655 + 150, 360);
    display.movePointer(barStart);
    ASSERT_TRUE(
        display.waitForScreen([&](const QImage &s) { return inkIn(s, help) > 20; }, 5000, &screen))
        << "no help over the seek bar";
    EXPECT_FALSE(sameColor(colourAt(screen, 2655 + 400, 300), fill, 4));
    const QImage barHelp = screen.copy(help);
    const QImage caption = screen.copy(area(2895, 540, 1560, 240)); // "Add an album"
    display.press();
    display.glidePointer(barStart, at(2655 + 1000, 360), 8);
    EXPECT_TRUE(display.waitForScreen(
        [&](const QImage &s) {
            return s.copy(help) != barHelp && sameColor(colourAt(s, 2655 + 400, 300), fill, 4);
        },
        5000))
        << "dragging the bar showed no target";
    display.release();
    EXPECT_TRUE(heardOnBus(bus, &said, Seeked)) << "no Seeked after the bar";
    QThread::msleep(1500); // a status update after the seek
    EXPECT_TRUE(sameColor(colourAt(display.screenshot(), 2655 + 400, 300), fill, 4))
        << "the song did not go on from the new place";
    said.clear();
    clickAt(1500, 90);
    display.key(u"Right"_s);
    EXPECT_TRUE(heardOnBus(bus, &said, Seeked)) << "no Seeked after the key";

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

    // The about box, asked for twice, is one window; its Close lights under
    // the pointer, and closes it.
    ASSERT_TRUE(menu(-1)); // "About ...", the last item
    ASSERT_TRUE(shows(u"^About Sonabel$"_s)) << "no about box";
    ASSERT_TRUE(menu(-1));
    QThread::msleep(500);
    const QList<quint64> abouts = display.windows(program->processId(), u"^About Sonabel$"_s);
    ASSERT_EQ(abouts.size(), 1);
    const QRect box = display.geometry(abouts[0]);
    const QPoint close = box.topLeft() + QPoint(px(4020 + 290), px(2160 + 110));
    const QPoint lit = box.topLeft() + QPoint(px(4020) + 3, px(2160) + 3);
    display.movePointer(close);
    EXPECT_TRUE(display.waitForScreen(
        [&](const QImage &s) { return sameColor(s.pixelColor(lit), Lit); }, 5000, &screen))
        << "\"Close\" did not light";
    keepScreenshot(u"about.png"_s, screen, box, 22);
    display.clickAt(close);
    EXPECT_TRUE(pollUntil([&] { return !display.viewable(abouts[0]); }, 5000))
        << "\"Close\" did not close the about box";
    EXPECT_TRUE(display.viewable(main));

    // In German: the caption, the help over the bar, the about box's title.
    clickAt(1500, 90);
    display.key(u"ctrl+q"_s);
    ASSERT_TRUE(program->waitForFinished(10000)) << "Ctrl+Q did not close the player";
    ASSERT_NO_FATAL_FAILURE(startIn(u"de_DE.UTF-8"_s));
    display.movePointer(barStart - QPoint(10, 10));
    display.movePointer(barStart);
    ASSERT_TRUE(
        display.waitForScreen([&](const QImage &s) { return inkIn(s, help) > 20; }, 5000, &screen))
        << "no help over the seek bar";
    EXPECT_NE(screen.copy(area(2895, 540, 1560, 240)), caption) << "the caption stayed English";
    EXPECT_NE(screen.copy(help), barHelp) << "the help line stayed English";
    ASSERT_TRUE(menu(-1)); // "Über ...", the last item
    // (xdotool reads titles in the C locale, where the Ü is lost.)
    EXPECT_TRUE(shows(u"ber Sonabel$"_s)) << "no about box titled in German";
}

// What a screen reader sees, read through AT-SPI by tests/a11y_check.py: the
// controls with their roles, names, descriptions and actions, the bar's value,
// the song line, the order Tab takes, a press, and the open menus' items.
// Then Tab on the screen: the focused button lights, explains itself and takes
// Space and Return; the play keys act only where the focused control leaves
// them alone.
TEST_F(PlayerOnDisplay, ScreenReadersAndTabReachTheControlsAndTheFocusedOneKeepsItsKeys)
{
    run.environment.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    startPlayer({}, steadySongs(run, u"k/song"_s, 8));
    ASSERT_TRUE(waitForSongLine());
    clickAt(1500, 90);
    QByteArray seen;
    const bool passed = display.tool(u"/usr/bin/python3"_s,
                                     {QStringLiteral(SONABEL_TEST_DATA_DIR "/../a11y_check.py"),
                                      QString::number(program->processId()),
                                      run.environment.value(u"DBUS_SESSION_BUS_ADDRESS"_s)},
                                     &seen, 90000);
    EXPECT_TRUE(passed) << seen.constData();
    ASSERT_TRUE(busSays(u"Metadata"_s, u"'song00'"_s));
    QProcess *bus = run.monitorBus();
    QString said;

    // From the song title: the transport, the list, the bar, the small
    // buttons, then "Add an album", which lights and shows its help.
    clickAt(1500, 90);
    ASSERT_TRUE(display.key(QStringList(12, u"Tab"_s).join(u' ')));
    QImage screen;
    EXPECT_TRUE(waitForColour(2940, 660, Lit, &screen)) << "Tab did not reach \"Add an album\"";
    EXPECT_GT(inkIn(screen, helpLine()), 20) << "no help for the focused button";
    // On to "Configuration": Return opens the panel, Space closes it again
    // instead of pausing the song.
    ASSERT_TRUE(display.key(u"Tab Tab Tab Tab Tab Return"_s));
    ASSERT_TRUE(waitForHeight(5955)) << "Return did not press \"Configuration\"";
    ASSERT_TRUE(display.key(u"space"_s));
    ASSERT_TRUE(waitForHeight(3150)) << "Space did not press \"Configuration\"";
    EXPECT_TRUE(run.mprisGet(u"PlaybackStatus"_s).contains(u"'Playing'"_s));

    // In the list Page Down pages, Space selects and Left and Right move
    // nothing in the song; Return plays the entry the list is at.
    clickAt(1200, 400);
    ASSERT_TRUE(display.key(u"Next space Left Right"_s));
    QThread::msleep(700);
    EXPECT_FALSE(heardOnBus(bus, &said, Seeked, 300)) << "Left or Right in the list seeked";
    EXPECT_TRUE(run.mprisGet(u"Metadata"_s).contains(u"'song00'"_s)) << "Page Down changed songs";
    EXPECT_TRUE(run.mprisGet(u"PlaybackStatus"_s).contains(u"'Playing'"_s)) << "Space paused";
    ASSERT_TRUE(display.key(u"Return"_s));
    EXPECT_TRUE(
        pollUntil([&] { return !run.mprisGet(u"Metadata"_s).contains(u"'song00'"_s); }, 5000))
        << "Return in the list played nothing";
}

// The panel, the shade and "Always on top", from the title, the button and
// the menu, change the layout and never the place; the placeholder leaves the
// taskbar however the window comes back from it; a drag moves the window with
// the pointer and the top edge snaps.
TEST_F(PlayerOnDisplay, LayoutTaskbarAndDrag)
{
    startPlayer(true);
    EXPECT_EQ(display.geometry(main).height(), px(3150));
    ASSERT_TRUE(configuration(5955)) << "the panel did not open";
    const QRect shown = display.geometry(main);

    // Minimised, the taskbar shows the placeholder, captioned with the song
    // line; restored or closed from the taskbar, or raised over the bus, the
    // window comes back as it was and the placeholder leaves.
    for (const char *how : {"restored", "closed", "raised"}) {
        SCOPED_TRACE(how);
        ASSERT_TRUE(minimise()) << "the main window stayed on the screen";
        quint64 placeholder = 0;
        ASSERT_TRUE(pollUntil(
            [&] {
                placeholder =
                    display.windows(program->processId(), u"^Sonabel v"_s, false).value(0);
                return display.hasState(placeholder, u"HIDDEN"_s);
            },
            5000))
            << "no minimised placeholder";
        if (how == std::string("closed"))
            display.closeWindow(placeholder);
        else if (how == std::string("restored"))
            display.activate(placeholder);
        else
            run.mpris(u"org.mpris.MediaPlayer2.Raise"_s);
        ASSERT_TRUE(pollUntil([&] { return display.viewable(main); }, 5000))
            << "the main window did not come back";
        EXPECT_TRUE(pollUntil([&] { return !display.hasState(placeholder, u"HIDDEN"_s); }, 5000))
            << "the placeholder stayed on the taskbar";
        EXPECT_EQ(display.geometry(main), shown) << "the window came back elsewhere or changed";
    }
    const auto above = [&] {
        return display.hasState(main, u"ABOVE"_s);
    };
    EXPECT_TRUE(pollUntil(above, 5000)) << "not on top at the start";
    ASSERT_TRUE(menu(1)); // "Always on top"
    EXPECT_TRUE(pollUntil([&] { return !above(); }, 5000));
    ASSERT_TRUE(menu(1));
    EXPECT_TRUE(pollUntil(above, 5000));

    // Shade and unshade with the panel open: the panel comes back, the place
    // never moves.
    keepScreenshot(u"panel.png"_s, display.screenshot(), display.geometry(main));
    ASSERT_TRUE(doubleClickTitle(195)) << "the window did not shade";
    keepScreenshot(u"shaded.png"_s, display.screenshot(), display.geometry(main));
    ASSERT_TRUE(doubleClickTitle(5955)) << "unshading lost the panel";
    EXPECT_EQ(display.geometry(main), shown);
    ASSERT_TRUE(configuration(3150));

    // A drag of the song title: the point under the pointer stays where the
    // button went down; ending above the screen's top edge snaps to it, but
    // not with snapping off nor 105 twips below it, nor at the left edge.
    const auto dragTitle = [&](QPoint delta) {
        origin = display.geometry(main).topLeft();
        const QPoint from = at(1500, 90);
        display.movePointer(from);
        display.press();
        display.glidePointer(from, from + delta, 10);
        QThread::msleep(100);
        display.release();
        return origin + delta;
    };
    const auto endsAt = [&](QPoint place) {
        EXPECT_TRUE(pollUntil([&] { return display.geometry(main).topLeft() == place; }, 5000))
            << "the window ended at " << display.geometry(main).x() << ","
            << display.geometry(main).y();
    };
    endsAt(dragTitle({60, 40}));
    endsAt(dragTitle({0, -display.geometry(main).y() - 3}) + QPoint(0, 3));
    endsAt(dragTitle({0, 7}));
    endsAt(dragTitle({-display.geometry(main).x() + 3, 0})); // the left edge never snaps
    origin = display.geometry(main).topLeft();
    ASSERT_TRUE(menu(3)); // "Snap to top screen"
    QThread::msleep(200);
    endsAt(dragTitle({0, -3}));
}

// Pixels in the colour of the words already sung.
int sungIn(const QImage &screen, const QRect &area)
{
    return pixelsIn(screen, area,
                    [](QColor c) { return c.blue() > 120 && c.red() < 90 && c.green() < 90; });
}

// A song's words show in the help line's place as they are sung, the part sung
// in a colour of its own; a control's help wins while the pointer is on it;
// shaded, the words are on the strip; a stop takes them away. (A pause holding
// the line: player_test.)
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

// A long playlist shows in the play menu as one scrolling list, with the song
// that plays checked and in view.
TEST_F(PlayerOnDisplay, PlayMenuOfALongPlaylistShowsTheSongThatPlays)
{
    startPlayer({}, steadySongs(run, u"long/"_s, 230));
    clickAt(1200, 1500); // the playlist's last entry, played with "Play this MIDI"
    display.key(u"End"_s);
    clickAt(3675, 1732);
    const quint64 menu = playMenu();
    ASSERT_NE(menu, 0u) << "the play menu did not open";
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

// Through the real file dialogs: "Save as audio ..." in the corner icon's menu
// opens in the Music folder and saves the song that plays, under a name typed
// without an extension, as FLAC tagged with its title, while it plays on.
// "Save this album" opens in the albums folder and adds ".mal"; after "Clear
// album", Albums > "Load ..." in the play menu (a right click on the song
// title) brings it back; an entry is removed with the Delete key; the player
// keeps the playlist and the album's place when it ends.
TEST_F(PlayerOnDisplay, AudioAndAlbumsSavedAndLoadedThroughTheFileDialogs)
{
    const QString music = run.scratch(u"home/Music"_s);
    ASSERT_TRUE(QDir().mkpath(music));
    run.environment.insert(u"HOME"_s, run.scratch(u"home"_s));
    run.environment.insert(u"SONABEL_SOUNDFONT"_s, u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s);
    const QString a = writeSteadySong(run.scratch(u"songs/Night Song.mid"_s), 60, 250);
    const QString b = writeSteadySong(run.scratch(u"songs/Other.mid"_s), 60, 250);
    startPlayer({}, {}, {run.scratch(u"songs"_s)});
    ASSERT_TRUE(busSays(u"PlaybackStatus"_s, u"Playing"_s, Patience));
    const qint64 pid = program->processId();
    auto typeInto = [&](const QString &dialog, const QString &text) {
        const quint64 window = display.waitForWindow(pid, dialog);
        ASSERT_NE(window, 0u) << "no dialog " << dialog.toStdString();
        ASSERT_TRUE(display.activate(window));
        ASSERT_TRUE(display.key(u"ctrl+a"_s));
        ASSERT_TRUE(display.tool(u"xdotool"_s, {u"type"_s, u"--delay"_s, u"40"_s, text}));
        ASSERT_TRUE(display.key(u"Return"_s));
    };

    ASSERT_TRUE(menu(6)); // "Save as audio ..."
    typeInto(u"^Save as audio$"_s, u"shared"_s);
    const QString flacFile = music + u"/shared.flac"_s;
    Wav flac;
    EXPECT_TRUE(pollUntil(
        [&] {
            flac = readAudio(flacFile.toStdString());
            return flac.problem.empty();
        },
        Patience))
        << flac.problem;
    EXPECT_TRUE(readBytes(flacFile).startsWith("fLaC"));
    EXPECT_EQ(flac.title, "Night Song");
    EXPECT_GT(flac.samples.size(), 60u * 44100 * 2);
    EXPECT_TRUE(run.mprisGet(u"PlaybackStatus"_s).contains(u"Playing"_s));

    ASSERT_TRUE(display.clickAt(area(2895, 810, 1560, 225).center())); // "Save this album"
    typeInto(u"^Save this album to$"_s, u"mine"_s);
    const QString saved = run.programFolder() + u"/Albums/mine.mal"_s;
    ASSERT_TRUE(pollUntil([&] { return QFile::exists(saved); }, 10000)) << "nothing was saved";
    EXPECT_EQ(readBytes(saved), (a + u"\r\n"_s + b + u"\r\n"_s).toUtf8());

    ASSERT_TRUE(display.clickAt(area(2895, 1350, 1560, 225).center())); // "Clear album"
    ASSERT_NE(playMenu(), 0u) << "the play menu did not open";
    ASSERT_TRUE(display.key(u"Down Right Return"_s)); // Albums, its first item: Load ...
    typeInto(u"^Open MIDI Album$"_s, u"mine.mal"_s);
    ASSERT_TRUE(
        pollUntil([&] { return display.windows(pid, u"^Open MIDI Album$"_s).isEmpty(); }, 10000));
    ASSERT_TRUE(display.clickAt(origin + QPoint(40, 18 + 6))); // the first entry
    ASSERT_TRUE(display.key(u"Delete"_s));

    // The album came back whole (it was loaded as the current album) and lost
    // its first entry to Delete.
    QThread::msleep(300);
    ASSERT_TRUE(ProgramRun::terminate(program, 30000));
    EXPECT_EQ(readLines(run.defaultAlbum()), QStringList{b});
    QSettings ini(run.iniFile(), QSettings::IniFormat);
    EXPECT_EQ(ini.value(u"Album1"_s).toString(), saved);
}

// ---- quitting ----

// Every way to quit ends the player at once, whatever is open, and keeps the
// playlist and the window's place: a termination signal, the bus's Quit and,
// where the window takes keys, Ctrl+Q. (The session manager's quit request:
// startup_test.) Each start is given a folder, whose scan window opening while
// the window comes up used to put the window at 0,0; a click on the title and
// a shade right after the start used to save that place.
class QuitOnDisplay : public PlayerOnDisplay, public ::testing::WithParamInterface<const char *>
{
protected:
    // Brings the running player into the state; false when it did not get there.
    bool enter(const QString &state)
    {
        if (state == u"minimised"_s)
            return minimise();
        if (state == u"shaded"_s)
            return doubleClickTitle(195);
        if (state == u"panel open"_s)
            return configuration(5955);
        if (state == u"file dialog"_s)
            return display.clickAt(at(1500, 90)) && display.key(u"ctrl+o"_s) &&
                   shows(u"^Open MIDI Album$"_s);
        if (state == u"about box"_s)
            return menu(-1) && shows(u"^About Sonabel$"_s);
        if (state == u"sound dialog"_s)
            return menu(-2) && shows(u"^Sound$"_s);
        if (state == u"message box"_s) { // a later start's album names a song that is gone
            run.start({writeLines(run.scratch(u"gone.mal"_s), {run.scratch(u"gone.mid"_s)})});
            return pollUntil(
                [&] { return display.windows(program->processId(), u"^Sonabel$"_s).size() == 2; },
                10000);
        }
        if (state == u"album load"_s) { // a later start's album of a million lines
            const QByteArray line = (run.scratch(u"a.mid"_s) + u"\r\n"_s).toUtf8();
            run.start({writeBytes(run.scratch(u"big.mal"_s), line.repeated(1000000))});
            return shows(u"^Loading "_s);
        }
        // A folder scan: long enough to be caught in it.
        const QString tree = run.scratch(u"tree"_s);
        for (int i = 0; i < 2000; ++i)
            QDir().mkpath(tree + u"/f%1/g"_s.arg(i));
        // The later start hands it over first: until then the window of the
        // player's own scan of its songs may be the one showing.
        return run.start({tree})->waitForFinished(Patience) && shows(u"^Searching "_s);
    }
};

TEST_P(QuitOnDisplay, EveryWayToQuitEndsThePlayerAtOnce)
{
    const QString state = QLatin1String(GetParam());
    const QStringList songs = steadySongs(run, u"songs/song"_s, 2);
    QStringList routes = {u"SIGTERM"_s, u"Quit"_s};
    if (state == u"shaded"_s || state == u"panel open"_s || state == u"about box"_s)
        routes.append(u"Ctrl+Q"_s);
    for (const QString &route : routes) {
        SCOPED_TRACE(route.toStdString());
        startPlayer({}, {}, {run.scratch(u"songs"_s)});
        ASSERT_TRUE(busSays(u"PlaybackStatus"_s, u"<'"_s, Patience));
        ASSERT_TRUE(enter(state)) << "the player did not get there";
        QElapsedTimer took;
        took.start();
        if (route == u"SIGTERM"_s)
            ::kill(static_cast<pid_t>(program->processId()), SIGTERM);
        else if (route == u"Quit"_s)
            run.mpris(u"org.mpris.MediaPlayer2.Quit"_s);
        else
            ASSERT_TRUE(display.clickAt(at(1500, 90)) && display.key(u"ctrl+q"_s));
        ASSERT_TRUE(program->waitForFinished(Patience)) << "the player went on";
        EXPECT_LT(took.elapsed(), 5000);
        EXPECT_EQ(program->exitCode(), 0);
        EXPECT_EQ(readLines(run.defaultAlbum()).mid(0, 2), songs);
        QSettings ini(run.iniFile(), QSettings::IniFormat);
        EXPECT_EQ(QPoint(ini.value(u"X"_s).toInt(), ini.value(u"Y"_s).toInt()), QPoint(6000, 3000));
    }
}

INSTANTIATE_TEST_SUITE_P(States, QuitOnDisplay,
                         ::testing::Values("minimised", "shaded", "panel open", "message box",
                                           "file dialog", "about box", "sound dialog",
                                           "folder scan", "album load"));

// The about box's roll, where a side window goes, and the placing options
// where the compositor places windows (on the offscreen platform; the real
// display tests cover what needs a window manager, the keys, and what a
// screen reader sees).
#include "platform/WindowSystem.h"
#include "support/WindowFixture.h"
#include "ui/frmAbout.h"

#include <QGuiApplication>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace {

// The text rolls up to a line and down again after 500 ms, then rests for 3 s
// at its place and full height; a later roll starts from where the last one
// ended.
TEST(AboutBox, RollsThenRestsWhereItStarted)
{
    frmAbout about(u"FluidSynth: playing with test.sf2"_s);
    about.Form_Activate();
    EXPECT_EQ(about.tmeChange->interval(), 500);
    for (int roll = 0; roll < 2; ++roll) {
        about.tmeChange_Timer();
        int lowest = about.textHeight();
        for (int step = 0; step < 40 && about.tmeClear->isActive(); ++step) {
            about.tmeClear_Timer();
            lowest = std::min(lowest, about.textHeight());
        }
        EXPECT_EQ(lowest, 100);
        EXPECT_EQ(QPoint(about.textTop(), about.textHeight()), QPoint(240, 700));
        EXPECT_TRUE(about.tmeChange->isActive() && about.tmeChange->interval() == 3000);
    }
}

TEST(WindowPlacement, ASideWindowGoesBelowOrAboveAndStaysOnTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size(300, 340);
    const std::tuple<const char *, QRect, QPoint> cases[] = {
        {"room below", QRect(100, 0, 301, 210), QPoint(100, 210)},
        {"near the bottom: above", QRect(100, screen.bottom() - 250, 301, 210),
         QPoint(100, screen.bottom() - 250 - 340)},
        {"past the right edge: pulled in", QRect(screen.right() - 100, 0, 301, 13),
         QPoint(screen.right() + 1 - 300, 13)},
    };
    for (const auto &[what, anchor, expected] : cases) {
        const QPoint at = placeBeside(anchor, size);
        EXPECT_EQ(at, expected) << what;
        EXPECT_TRUE(screen.contains(QRect(at, size))) << what;
    }
}

// The saved place is kept (wayland_test); a drag stores nothing.
TEST_F(WindowFixture, WhereTheCompositorPlacesWindowsItsOptionsAreGreyed)
{
    store.values.insert(u"X"_s, u"1500"_s);
    store.values.insert(u"Snap"_s, u"1"_s);
    frmMain &w = window();
    w.setCompositorPlacesWindows(true);
    w.Form_Load();
    for (QCheckBox *box : {w.chkSnap, w.chkTop})
        EXPECT_TRUE(!box->isEnabled() && box->toolTip().contains(u"Wayland"_s));
    EXPECT_TRUE(w.chkSnap->isChecked()); // the user's choice, for a later X11 session
    for (QAction *item : {w.mnuTop, w.mnuSnap})
        EXPECT_TRUE(!item->isEnabled() && item->text().endsWith(u"set by the desktop"_s));
    w.lblSongName_MouseDown(Qt::LeftButton, {2, 2});
    w.lblSongName_MouseMove({40, -200});
    w.lblSongName_MouseUp();
    EXPECT_EQ(w.Global.WindowX, 1500.0f);

    w.setCompositorPlacesWindows(false);
    EXPECT_TRUE(w.chkTop->isEnabled() && w.mnuSnap->isEnabled());
    EXPECT_EQ(w.mnuTop->text(), u"Always on top"_s);
}

} // namespace

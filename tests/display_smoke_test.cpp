// The real-display harness itself: a server with a window manager comes up,
// the real program shows its window there, the pointer goes where it is sent
// and screenshots show what the program painted.
#include "support/ProgramRun.h"
#include "support/RealDisplay.h"

#include <gtest/gtest.h>

TEST(RealDisplayHarness, ProgramShowsItsWindowOnARealDisplay)
{
    RealDisplay display;
    ASSERT_TRUE(display.isUp()) << display.failure().toStdString();
    ProgramRun run;
    QProcess *program = display.start(run);
    const quint64 window = display.waitForMainWindow(program);
    ASSERT_NE(window, 0u) << "no main window appeared";

    RealDisplay::WindowInfo shown = display.info(window);
    EXPECT_TRUE(shown.viewable);
    EXPECT_EQ(shown.geometry.width(), 301); // 4515 twips

    // The top strip, right of the title's text, is painted in its own colour.
    const QPoint strip = shown.geometry.topLeft() + QPoint(200, 4);
    EXPECT_TRUE(display.waitForScreen([&](const QImage &screen) {
        return sameColor(screen.pixelColor(strip), QColor(192, 192, 255), 2);
    })) << "the window's top strip was not painted";

    const QPoint centre = shown.geometry.center();
    ASSERT_TRUE(display.movePointer(centre));
    EXPECT_EQ(display.pointer(), centre);
}

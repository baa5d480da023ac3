// A real display for tests of what a user sees and touches: a private Xvfb
// server with the openbox window manager, driven with real pointer and key
// input (xdotool) and read back with the X tools and screenshots; or a private
// headless weston, a Wayland session with XWayland. Every call that waits has
// a time-out; a tool that hangs is killed. PlayerOnDisplay is the fixture of
// the tests that start the player there and point at its window.
#pragma once

#include "support/ProgramRun.h"

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

class RealDisplay
{
public:
    // Xvfb with openbox; or weston's headless compositor as a Wayland session
    // (XDG_SESSION_TYPE=wayland) with XWayland. Weston has no input devices
    // there, and XWayland even crashes on synthetic input: only the X tools
    // that read are for it.
    enum class Desktop { Openbox, Weston };

    // Starts the display with one 1280x800 screen.
    explicit RealDisplay(Desktop desktop = Desktop::Openbox);
    ~RealDisplay();
    RealDisplay(const RealDisplay &) = delete;
    RealDisplay &operator=(const RealDisplay &) = delete;

    bool isUp() const { return m_failure.isEmpty(); }
    QString failure() const { return m_failure; } // why it did not come up
    // True when weston could not start at all on this machine (a test skips
    // then, saying why); any other failure is the test's to report.
    bool compositorUnavailable() const { return m_compositorUnavailable; }

    // Starts run's copy of the program on this display; the run owns the process.
    QProcess *start(ProgramRun &run, const QStringList &arguments = {});
    // Windows of pid whose title matches the extended regular expression (any
    // title when empty, case ignored); with shownOnly false, hidden and
    // minimised ones too.
    QList<quint64> windows(qint64 pid, const QString &titlePattern = {},
                           bool shownOnly = true) const;
    // The first shown one; 0 when none came in time.
    quint64 waitForWindow(qint64 pid, const QString &titlePattern, int timeoutMs = 10000) const;

    // Mapped, and all its ancestors too.
    bool viewable(quint64 window) const { return xwininfo(window).contains("IsViewable"); }
    // Its client area on the screen.
    QRect geometry(quint64 window) const;
    // Whether _NET_WM_STATE holds the state ("ABOVE", "HIDDEN").
    bool hasState(quint64 window, const QString &state) const;
    // As a taskbar does: activating restores a minimised window.
    bool activate(quint64 window) const { return wmctrl(QStringLiteral("-a"), window); }
    bool closeWindow(quint64 window) const { return wmctrl(QStringLiteral("-c"), window); }
    // Input in screen pixels; buttons 1 left, 3 right; keys as xdotool names
    // them ("space", "ctrl+q", "Down Right Return").
    bool xdotool(const QString &arguments) const
    {
        return tool(QStringLiteral("xdotool"), arguments.split(u' ', Qt::SkipEmptyParts));
    }
    bool movePointer(QPoint to) const
    {
        return xdotool(QStringLiteral("mousemove %1 %2").arg(to.x()).arg(to.y()));
    }
    // In steps, as a hand moves (drags need the moves in between).
    bool glidePointer(QPoint from, QPoint to, int steps = 8) const;
    bool click(int button = 1) const { return xdotool(QStringLiteral("click %1").arg(button)); }
    bool clickAt(QPoint at, int button = 1) const { return movePointer(at) && click(button); }
    bool doubleClick() const { return xdotool(QStringLiteral("click --repeat 2 --delay 80 1")); }
    bool press() const { return xdotool(QStringLiteral("mousedown 1")); }
    bool release() const { return xdotool(QStringLiteral("mouseup 1")); }
    bool key(const QString &keys) const
    {
        return xdotool(QStringLiteral("key --delay 30 ") + keys);
    }

    // The whole screen; a null image on failure.
    QImage screenshot() const;
    // Takes screenshots until one satisfies condition; the last goes to *last.
    bool waitForScreen(const std::function<bool(const QImage &)> &condition, int timeoutMs = 5000,
                       QImage *last = nullptr) const;

    // Runs an X tool against this display; false when it failed or hung.
    bool tool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
              int timeoutMs = 10000) const;

private:
    QByteArray xwininfo(quint64 window) const;
    bool wmctrl(const QString &action, quint64 window) const
    {
        return tool(QStringLiteral("wmctrl"),
                    {QStringLiteral("-i"), action, QString::number(window, 16).prepend(u"0x")});
    }
    QProcessEnvironment environment(QProcessEnvironment env) const;
    void startXvfb();
    void startWeston();
    bool launch(std::unique_ptr<QProcess> &process, const QString &program,
                const QStringList &arguments, const QProcessEnvironment &env,
                bool readOutput = false);

    QTemporaryDir m_home;
    QString m_name;          // ":N"
    QString m_waylandSocket; // the full path; empty under openbox
    QString m_failure;
    bool m_compositorUnavailable = false;
    std::unique_ptr<QProcess> m_server, m_windowManager;
};

// Polls until condition holds or timeoutMs passes.
inline bool pollUntil(const std::function<bool()> &condition, int timeoutMs)
{
    return ProgramRun::waitFor(condition, timeoutMs);
}
// True when the colours differ by at most tolerance in each channel.
bool sameColor(const QColor &a, const QColor &b, int tolerance = 2);
// The pixels inside a rectangle of the screen that pass the test.
int pixelsIn(const QImage &screen, const QRect &area, bool (*is)(QColor));
// Dark pixels (text) inside a rectangle of the screen.
int inkIn(const QImage &screen, const QRect &area);

// The window's unit, twips, in screen pixels.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

// The settings of a later start: the whole window rather than its strip,
// snapping on, no reset and no albums; on top and the place (twips) as given.
void writePlayerSettings(const ProgramRun &run, bool onTop = false, QPoint place = {6000, 3000});

// The player on an openbox display, with a session bus of its own, and the
// places of its window that a user points at (in twips from its top left).
class PlayerOnDisplay : public ::testing::Test
{
protected:
    // Starts the player with songs as its default album; fails unless its
    // window opens at the saved place.
    void startPlayer(bool onTop = false, const QStringList &songs = {},
                     const QStringList &arguments = {});

    QPoint at(int leftTwips, int topTwips) const
    {
        return origin + QPoint(px(leftTwips), px(topTwips));
    }
    QRect area(int leftTwips, int topTwips, int widthTwips, int heightTwips) const
    {
        return {at(leftTwips, topTwips), QSize(px(widthTwips), px(heightTwips))};
    }
    QRect helpLine() const { return area(2655, 1935, 1815, 870); }
    QColor colourAt(const QImage &screen, int leftTwips, int topTwips) const
    {
        return screen.pixelColor(at(leftTwips, topTwips));
    }
    bool waitForColour(int leftTwips, int topTwips, const QColor &colour, QImage *last = nullptr);
    void clickAt(int leftTwips, int topTwips) { display.clickAt(at(leftTwips, topTwips)); }
    // The title of one of the player's windows shows in time.
    bool shows(const QString &titlePattern) const
    {
        return display.waitForWindow(program->processId(), titlePattern) != 0;
    }

    // Opens the play menu with a right click on the song title; its window, 0
    // when none opened.
    quint64 playMenu();
    // Opens the corner icon's menu and picks the item `downs` steps down
    // (negative: from the bottom up).
    bool menu(int downs);
    bool waitForHeight(int heightTwips);
    // Shades or unshades with a double click on the title, to this height.
    bool doubleClickTitle(int heightTwips);
    // "Configuration" opens or closes the panel, to this height.
    bool configuration(int heightTwips)
    {
        clickAt(3540, 2950);
        return waitForHeight(heightTwips);
    }
    bool minimise()
    {
        return menu(7) && pollUntil([&] { return !display.viewable(main); }, 5000);
    }
    // Waits until the song line shows: the song plays and its percentage is in the bar.
    bool waitForSongLine();
    // Waits until the bus reads a property holding part.
    bool busSays(const QString &property, const QString &part, int timeoutMs = 5000) const
    {
        return pollUntil([&] { return run.mprisGet(property).contains(part); }, timeoutMs);
    }

    RealDisplay display;
    ProgramRun run;
    QProcess *program = nullptr;
    quint64 main = 0;
    QPoint origin;
};

// A real X display for tests of what a user sees and touches: a private Xvfb
// server with the openbox window manager on a free display number, driven with
// real pointer and key input (xdotool), read back with the X tools (window
// geometry and state) and screenshots. The real program runs on it from a
// ProgramRun's private program and settings folders.
//
// Every call that waits has a time-out; a tool that hangs is killed. Nothing
// here touches the display the tests were started from.
#pragma once

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class ProgramRun;

class RealDisplay
{
public:
    // Starts Xvfb with one screen of this size and openbox on it; isUp() says
    // whether both came up.
    explicit RealDisplay(QSize screen = QSize(1280, 800));
    // Ends the window manager and the server.
    ~RealDisplay();
    RealDisplay(const RealDisplay &) = delete;
    RealDisplay &operator=(const RealDisplay &) = delete;

    bool isUp() const { return m_up; }
    // Why the display did not come up.
    QString failure() const { return m_failure; }
    // ":N"
    QString name() const { return m_name; }

    // base with DISPLAY pointing here and nothing that would send a Qt
    // program elsewhere (QT_QPA_PLATFORM, WAYLAND_DISPLAY).
    QProcessEnvironment environment(const QProcessEnvironment &base) const;

    // ---- the program ----
    // Starts run's copy of the program on this display with run's private
    // settings, data and runtime folders. The run owns the process.
    QProcess *start(ProgramRun &run, const QStringList &arguments = {});
    // The first shown window of process pid whose title matches the regular
    // expression; 0 when none appeared within timeoutMs.
    quint64 waitForWindow(qint64 pid, const QString &titlePattern, int timeoutMs = 10000) const;
    // Shown windows of process pid whose title matches (all titles when empty);
    // with shownOnly false, hidden and minimised ones too.
    QList<quint64> windows(qint64 pid, const QString &titlePattern = QString(),
                           bool shownOnly = true) const;
    // The main window of a program started with start().
    quint64 waitForMainWindow(QProcess *process, int timeoutMs = 10000) const;

    // ---- windows ----
    struct WindowInfo
    {
        bool exists = false;
        bool viewable = false; // mapped and all its ancestors mapped
        QRect geometry;        // screen position and size of the client area
    };
    WindowInfo info(quint64 window) const;
    QRect geometry(quint64 window) const { return info(window).geometry; }
    // The window's _NET_WM_STATE atoms, e.g. "_NET_WM_STATE_ABOVE", "_NET_WM_STATE_HIDDEN".
    QStringList netWmState(quint64 window) const;
    QString title(quint64 window) const;
    // Asks the window manager to activate the window, the way a taskbar does
    // (a minimised window is restored).
    bool activate(quint64 window) const;
    // Asks the window manager to close the window, the way a taskbar's menu does.
    bool closeWindow(quint64 window) const;
    // Waits until the window's geometry satisfies condition; the last geometry
    // read is left in *last.
    bool waitForGeometry(quint64 window, const std::function<bool(const QRect &)> &condition,
                         int timeoutMs = 5000, QRect *last = nullptr) const;

    // ---- input, in screen pixels ----
    bool movePointer(QPoint to) const
    {
        return xdotool("mousemove", {QString::number(to.x()), QString::number(to.y())});
    }
    // Moves there in several steps, as a hand does (drags need intermediate moves).
    bool glidePointer(QPoint from, QPoint to, int steps = 8) const;
    // Buttons: 1 left, 2 middle, 3 right.
    bool click(int button = 1) const { return xdotool("click", {QString::number(button)}); }
    bool doubleClick(int button = 1) const
    {
        return xdotool("click", QStringLiteral("--repeat 2 --delay 80 %1").arg(button).split(u' '));
    }
    bool press(int button = 1) const { return xdotool("mousedown", {QString::number(button)}); }
    bool release(int button = 1) const { return xdotool("mouseup", {QString::number(button)}); }
    // Key names as xdotool takes them: "space", "ctrl+o", "Left", "Prior".
    bool key(const QString &keys) const;

    // ---- what is on the screen ----
    // The whole screen; a null image on failure.
    QImage screenshot() const;
    // Takes screenshots until condition holds for one; the last one is left in *last.
    bool waitForScreen(const std::function<bool(const QImage &)> &condition, int timeoutMs = 5000,
                       QImage *last = nullptr) const;

    // Runs an X tool against this display; false when it failed or hung.
    bool tool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
              int timeoutMs = 10000) const;

private:
    bool xdotool(const char *command, const QStringList &arguments) const;
    bool startServer();
    bool startWindowManager();

    QTemporaryDir m_home;
    QSize m_screen;
    QString m_name;
    bool m_up = false;
    QString m_failure;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
};

// Polls until condition holds or timeoutMs passes, without an event loop.
bool pollUntil(const std::function<bool()> &condition, int timeoutMs, int intervalMs = 50);
// True when the colours differ by at most tolerance in each channel.
bool sameColor(const QColor &a, const QColor &b, int tolerance = 0);

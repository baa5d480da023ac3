// A private X server with a window manager, driven like a user drives it.
#include "support/RealDisplay.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;

static constexpr int StartTimeoutMs = 15000;

bool sameColor(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

int pixelsIn(const QImage &screen, const QRect &area, bool (*is)(QColor))
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += is(screen.pixelColor(x, y)) ? 1 : 0;
    return count;
}

int inkIn(const QImage &screen, const QRect &area)
{
    return pixelsIn(screen, area, [](QColor c) { return qGray(c.rgb()) < 110; });
}

RealDisplay::RealDisplay(Desktop desktop)
{
    desktop == Desktop::Openbox ? startXvfb() : startWeston();
}

void RealDisplay::startXvfb()
{
    // Xvfb picks a free display number itself and prints it, so tests running
    // side by side never race for one; its chatter goes to standard error.
    if (!launch(m_server, u"Xvfb"_s,
                {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x800x24"_s, u"-nolisten"_s,
                 u"tcp"_s, u"-noreset"_s},
                QProcessEnvironment::systemEnvironment(), true))
        return;
    m_server->waitForReadyRead(StartTimeoutMs); // one short line, written at once
    m_name = u':' + QString::fromLatin1(m_server->readLine().trimmed());
    if (m_name.size() < 2) {
        m_failure = u"Xvfb did not report a display number"_s;
        return;
    }
    // The stock openbox configuration without the minimise animation, and
    // private settings folders so that nothing of the user's leaks in.
    QFile stock(u"/etc/xdg/openbox/rc.xml"_s);
    const QString config = m_home.filePath(u"rc.xml"_s);
    if (!stock.open(QIODevice::ReadOnly)) {
        m_failure = u"openbox is not installed (package openbox)"_s;
        return;
    }
    writeBytes(config, stock.readAll().replace("<animateIconify>yes", "<animateIconify>no"));
    QProcessEnvironment env = environment(QProcessEnvironment::systemEnvironment());
    for (const QString &folder : {u"XDG_CONFIG_HOME"_s, u"XDG_CACHE_HOME"_s, u"XDG_DATA_HOME"_s}) {
        QDir().mkpath(m_home.filePath(folder));
        env.insert(folder, m_home.filePath(folder));
    }
    if (!launch(m_windowManager, u"openbox"_s, {u"--sm-disable"_s, u"--config-file"_s, config},
                env))
        return;
    // The manager is in charge once it has announced itself on the root window.
    QByteArray out;
    if (!pollUntil(
            [&] {
                return tool(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}, &out) &&
                       out.contains("window id");
            },
            StartTimeoutMs))
        m_failure = u"openbox did not take over the display"_s;
}

void RealDisplay::startWeston()
{
    // Weston wants a runtime folder of its own user, closed to others; the
    // programs reach its socket by its full path.
    const QString runtime = m_home.filePath(u"runtime"_s);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_waylandSocket = runtime + u"/wayland-sonabel"_s;
    const QString log = m_home.filePath(u"weston.log"_s);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"WAYLAND_SOCKET"_s})
        env.remove(name);
    // XWayland starts with its first client; a missing weston fails here.
    if (!launch(m_server, u"weston"_s,
                {u"--backend=headless-backend.so"_s, u"--socket=wayland-sonabel"_s,
                 u"--no-config"_s, u"--width=1280"_s, u"--height=800"_s, u"--xwayland"_s,
                 u"--log="_s + log},
                env))
        return;
    // Up once its socket is there and the X display is named.
    static const QRegularExpression listening(u"xserver listening on display (:\\d+)"_s);
    const bool up = pollUntil(
        [&] {
            m_name = listening.match(QString::fromUtf8(readBytes(log))).captured(1);
            return m_server->state() == QProcess::NotRunning ||
                   (QFile::exists(m_waylandSocket) && !m_name.isEmpty());
        },
        StartTimeoutMs);
    m_compositorUnavailable = m_server->state() == QProcess::NotRunning;
    if (m_compositorUnavailable)
        m_failure = u"weston could not start here: "_s +
                    QString::fromUtf8(readBytes(log).right(600)).trimmed();
    else if (!up)
        m_failure = u"weston started no XWayland (package xwayland)"_s;
}

RealDisplay::~RealDisplay()
{
    // What does not end on a request is killed with its QProcess.
    for (auto *process : {m_windowManager.get(), m_server.get()})
        if (process)
            ProgramRun::terminate(process, 3000);
}

bool RealDisplay::launch(std::unique_ptr<QProcess> &process, const QString &program,
                         const QStringList &arguments, const QProcessEnvironment &env,
                         bool readOutput)
{
    process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    if (!readOutput)
        process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // They end with the test process, even when it is killed on a time-out.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process->start(program, arguments);
    if (!process->waitForStarted(StartTimeoutMs))
        m_failure = program + u" could not be started"_s;
    return m_failure.isEmpty();
}

QProcessEnvironment RealDisplay::environment(QProcessEnvironment env) const
{
    for (const QString &name : {u"DISPLAY"_s, u"QT_QPA_PLATFORM"_s, u"WAYLAND_DISPLAY"_s,
                                u"XAUTHORITY"_s, u"XDG_SESSION_TYPE"_s})
        env.remove(name);
    env.insert(u"DISPLAY"_s, m_name);
    if (!m_waylandSocket.isEmpty()) {
        env.insert(u"WAYLAND_DISPLAY"_s, m_waylandSocket);
        env.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
    }
    // Under AddressSanitizer: the X keyboard library hands strndup a name of
    // exactly the given length with no NUL after it, which the strict string
    // checks of the test runs report as an overflow before any window shows.
    // On Wayland the graphics stack keeps what it allocated to the end (the
    // toolkit's Wayland objects, and Mesa's driver, which is unloaded before
    // the leak check and so cannot be named in a suppression). The player's
    // own memory is leak-checked on X11 and offscreen.
    if (env.contains(u"ASAN_OPTIONS"_s))
        env.insert(u"ASAN_OPTIONS"_s,
                   env.value(u"ASAN_OPTIONS"_s) + u":intercept_strndup=0"_s +
                       (m_waylandSocket.isEmpty() ? QString() : u":detect_leaks=0"_s));
    return env;
}

bool RealDisplay::tool(const QString &program, const QStringList &arguments, QByteArray *output,
                       int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs))
        return false; // killed with its QProcess
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QProcess *RealDisplay::start(ProgramRun &run, const QStringList &arguments)
{
    run.environment = environment(run.environment);
    return run.start(arguments);
}

QList<quint64> RealDisplay::windows(qint64 pid, const QString &titlePattern, bool shownOnly) const
{
    QStringList arguments{u"search"_s, u"--all"_s, u"--pid"_s, QString::number(pid)};
    if (shownOnly)
        arguments.append(u"--onlyvisible"_s);
    if (!titlePattern.isEmpty())
        arguments << u"--name"_s << titlePattern;
    QByteArray out;
    tool(u"xdotool"_s, arguments, &out); // exit status 1 only says that nothing matched
    QList<quint64> found;
    for (const QByteArray &line : out.split('\n'))
        if (const quint64 window = line.trimmed().toULongLong())
            found.append(window);
    return found;
}

quint64 RealDisplay::waitForWindow(qint64 pid, const QString &titlePattern, int timeoutMs) const
{
    QList<quint64> found;
    pollUntil([&] { return !(found = windows(pid, titlePattern)).isEmpty(); }, timeoutMs);
    return found.value(0);
}

QByteArray RealDisplay::xwininfo(quint64 window) const
{
    QByteArray out;
    tool(u"xwininfo"_s, {u"-id"_s, QString::number(window)}, &out);
    return out;
}

QRect RealDisplay::geometry(quint64 window) const
{
    const QString text = QString::fromLatin1(xwininfo(window));
    const auto value = [&](const QString &key) {
        return QRegularExpression(u"\\s"_s + key + u":\\s*(-?\\d+)"_s)
            .match(text)
            .captured(1)
            .toInt();
    };
    return {value(u"Absolute upper-left X"_s), value(u"Absolute upper-left Y"_s), value(u"Width"_s),
            value(u"Height"_s)};
}

bool RealDisplay::hasState(quint64 window, const QString &state) const
{
    QByteArray out;
    tool(u"xprop"_s, {u"-id"_s, QString::number(window), u"_NET_WM_STATE"_s}, &out);
    return out.contains("_NET_WM_STATE_" + state.toLatin1());
}

bool RealDisplay::glidePointer(QPoint from, QPoint to, int steps) const
{
    for (int i = 0; i <= steps; ++i) {
        if (!movePointer(from + (to - from) * i / steps))
            return false;
        QThread::msleep(15);
    }
    return true;
}

QImage RealDisplay::screenshot() const
{
    QByteArray png;
    if (!tool(u"import"_s, {u"-window"_s, u"root"_s, u"png:-"_s}, &png, 20000))
        return {};
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

bool RealDisplay::waitForScreen(const std::function<bool(const QImage &)> &condition, int timeoutMs,
                                QImage *last) const
{
    QImage seen;
    const bool met =
        pollUntil([&] { return !(seen = screenshot()).isNull() && condition(seen); }, timeoutMs);
    if (last)
        *last = seen;
    return met;
}

void writePlayerSettings(const ProgramRun &run, bool onTop, QPoint place)
{
    QSettings ini(run.iniFile(), QSettings::IniFormat);
    ini.setValue(u"@"_s, 1); // not the first start
    for (const char *key : {"Default", "Shade", "onNew", "Reset", "CurrentAlbum"})
        ini.setValue(QLatin1String(key), 0);
    ini.setValue(u"Snap"_s, 1);
    ini.setValue(u"onTop"_s, int(onTop));
    ini.setValue(u"X"_s, place.x());
    ini.setValue(u"Y"_s, place.y());
    for (int i = 1; i <= 4; ++i)
        ini.setValue(u"Album%1"_s.arg(i), u"Empty"_s);
}

void PlayerOnDisplay::startPlayer(bool onTop, const QStringList &songs,
                                  const QStringList &arguments)
{
    ASSERT_TRUE(display.isUp()) << display.failure().toStdString();
    ASSERT_TRUE(run.startSessionBus()) << "no dbus-daemon or gdbus";
    writePlayerSettings(run, onTop);
    if (!songs.isEmpty())
        writeLines(run.defaultAlbum(), songs);
    program = display.start(run, arguments);
    main = display.waitForWindow(program->processId(), u"^Sonabel$"_s);
    ASSERT_NE(main, 0u) << "the main window did not appear";
    origin = QPoint(px(6000), px(3000));
    ASSERT_TRUE(pollUntil([&] { return display.geometry(main).topLeft() == origin; }, 15000))
        << "the window did not open at its saved place but at " << display.geometry(main).x() << ","
        << display.geometry(main).y();
}

bool PlayerOnDisplay::waitForColour(int leftTwips, int topTwips, const QColor &colour, QImage *last)
{
    return display.waitForScreen(
        [&](const QImage &s) { return sameColor(colourAt(s, leftTwips, topTwips), colour); }, 5000,
        last);
}

quint64 PlayerOnDisplay::playMenu()
{
    const QList<quint64> before = display.windows(program->processId());
    display.clickAt(at(1500, 90), 3);
    quint64 menu = 0;
    pollUntil(
        [&] {
            for (quint64 w : display.windows(program->processId()))
                menu = before.contains(w) ? menu : w;
            return menu != 0;
        },
        5000);
    return menu;
}

bool PlayerOnDisplay::menu(int downs)
{
    if (!display.clickAt(at(100, 100), 3))
        return false;
    QThread::msleep(300);
    return display.key(QStringList(std::abs(downs), downs >= 0 ? u"Down"_s : u"Up"_s).join(u' ') +
                       u" Return"_s);
}

bool PlayerOnDisplay::waitForHeight(int heightTwips)
{
    return pollUntil([&] { return display.geometry(main).height() == px(heightTwips); }, 5000);
}

bool PlayerOnDisplay::doubleClickTitle(int heightTwips)
{
    return display.movePointer(at(1500, 90)) && display.doubleClick() && waitForHeight(heightTwips);
}

bool PlayerOnDisplay::waitForSongLine()
{
    const QRect bar = area(2655, 270, 1800, 180).adjusted(3, 2, -3, -2);
    return display.waitForScreen([&](const QImage &s) { return inkIn(s, bar) > 5; }, 8000);
}

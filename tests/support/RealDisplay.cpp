// A private X server with a window manager, driven like a user drives it.
#include "support/RealDisplay.h"

#include "support/ProgramRun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int StartTimeoutMs = 15000;

// Children of the harness end with the test process, even when it is killed,
// so a test that times out leaves no server behind.
void endWithParent()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

QString windowId(quint64 window)
{
    return u"0x"_s + QString::number(window, 16);
}

// Reads one line from fd within timeoutMs; empty on time-out or end of file.
QByteArray readLine(int fd, int timeoutMs)
{
    QByteArray line;
    QDeadlineTimer deadline(timeoutMs);
    while (!line.endsWith('\n')) {
        const int left = static_cast<int>(deadline.remainingTime());
        if (left <= 0)
            return {};
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        char c = 0;
        if (::read(fd, &c, 1) != 1)
            return {};
        line.append(c);
    }
    return line.trimmed();
}

} // namespace

bool pollUntil(const std::function<bool()> &condition, int timeoutMs, int intervalMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(static_cast<unsigned long>(intervalMs));
    }
    return true;
}

bool sameColor(const QColor &a, const QColor &b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

RealDisplay::RealDisplay(QSize screen) : m_screen(screen)
{
    if (!m_home.isValid()) {
        m_failure = u"no temporary folder"_s;
        return;
    }
    m_up = startServer() && startWindowManager();
}

RealDisplay::~RealDisplay()
{
    for (auto *process : {m_windowManager.get(), m_server.get()}) {
        if (process && process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }
}

bool RealDisplay::startServer()
{
    // Xvfb picks a free display number itself and writes it to the pipe, so
    // tests running side by side never race for one.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        m_failure = u"pipe failed"_s;
        return false;
    }
    ::fcntl(fds[1], F_SETFD, 0); // the server inherits the write end
    m_server = std::make_unique<QProcess>();
    // Quiet: it reports every display number it finds taken on the way.
    m_server->setStandardOutputFile(QProcess::nullDevice());
    m_server->setStandardErrorFile(QProcess::nullDevice());
    m_server->setChildProcessModifier(endWithParent);
    m_server->start(u"Xvfb"_s, {u"-displayfd"_s, QString::number(fds[1]), u"-screen"_s, u"0"_s,
                                u"%1x%2x24"_s.arg(m_screen.width()).arg(m_screen.height()),
                                u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
    ::close(fds[1]);
    const bool started = m_server->waitForStarted(StartTimeoutMs);
    const QByteArray number = started ? readLine(fds[0], StartTimeoutMs) : QByteArray();
    ::close(fds[0]);
    if (!started || number.isEmpty()) {
        m_failure = started ? u"Xvfb did not report a display number"_s
                            : u"Xvfb could not be started (package xvfb)"_s;
        return false;
    }
    m_name = u':' + QString::fromLatin1(number);
    return true;
}

bool RealDisplay::startWindowManager()
{
    // The stock configuration, without the minimise animation; private
    // settings folders so nothing of the user's leaks in.
    const QString config = m_home.filePath(u"rc.xml"_s);
    QFile stock(u"/etc/xdg/openbox/rc.xml"_s);
    if (!stock.open(QIODevice::ReadOnly)) {
        m_failure = u"openbox is not installed (package openbox)"_s;
        return false;
    }
    QByteArray rc = stock.readAll();
    rc.replace("<animateIconify>yes</animateIconify>", "<animateIconify>no</animateIconify>");
    QFile configFile(config);
    if (!configFile.open(QIODevice::WriteOnly) || configFile.write(rc) != rc.size()) {
        m_failure = u"cannot write the window manager's configuration"_s;
        return false;
    }
    configFile.close();

    QProcessEnvironment env = environment(QProcessEnvironment::systemEnvironment());
    for (const char *folder : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
        const QString path = m_home.filePath(QString::fromLatin1(folder));
        QDir().mkpath(path);
        env.insert(QString::fromLatin1(folder), path);
    }
    m_windowManager = std::make_unique<QProcess>();
    m_windowManager->setProcessEnvironment(env);
    m_windowManager->setStandardOutputFile(QProcess::nullDevice());
    m_windowManager->setStandardErrorFile(QProcess::nullDevice());
    m_windowManager->setChildProcessModifier(endWithParent);
    m_windowManager->start(u"openbox"_s, {u"--sm-disable"_s, u"--config-file"_s, config});
    if (!m_windowManager->waitForStarted(StartTimeoutMs)) {
        m_failure = u"openbox could not be started"_s;
        return false;
    }
    // The manager is in charge once it has announced itself on the root window.
    const bool managing = pollUntil(
        [this] {
            QByteArray out;
            return tool(u"xprop"_s, {u"-root"_s, u"_NET_SUPPORTING_WM_CHECK"_s}, &out) &&
                   out.contains("window id");
        },
        StartTimeoutMs, 50);
    if (!managing)
        m_failure = u"openbox did not take over the display"_s;
    return managing;
}

QProcessEnvironment RealDisplay::environment(const QProcessEnvironment &base) const
{
    QProcessEnvironment env = base;
    env.insert(u"DISPLAY"_s, m_name);
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    env.remove(u"XAUTHORITY"_s);
    // Under AddressSanitizer: the X keyboard library hands strndup a name of
    // exactly the given length with no NUL after it, which the strict string
    // checks of the test runs report as an overflow before any window shows.
    if (env.contains(u"ASAN_OPTIONS"_s))
        env.insert(u"ASAN_OPTIONS"_s, env.value(u"ASAN_OPTIONS"_s) + u":intercept_strndup=0"_s);
    return env;
}

bool RealDisplay::tool(const QString &program, const QStringList &arguments, QByteArray *output,
                       int timeoutMs) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, m_name);
    env.remove(u"XAUTHORITY"_s);
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs))
        return false;
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
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
    QList<quint64> found;
    QByteArray out;
    QStringList arguments{u"search"_s, u"--pid"_s, QString::number(pid)};
    if (shownOnly)
        arguments.insert(1, u"--onlyvisible"_s);
    // Exit status 1 only says that nothing matched.
    tool(u"xdotool"_s, arguments, &out);
    const QRegularExpression pattern(titlePattern);
    const QList<QByteArray> lines = out.split('\n');
    for (const QByteArray &line : lines) {
        bool ok = false;
        const quint64 window = line.trimmed().toULongLong(&ok);
        if (ok && (titlePattern.isEmpty() || pattern.match(title(window)).hasMatch()))
            found.append(window);
    }
    return found;
}

quint64 RealDisplay::waitForWindow(qint64 pid, const QString &titlePattern, int timeoutMs) const
{
    quint64 window = 0;
    pollUntil(
        [&] {
            const QList<quint64> found = windows(pid, titlePattern);
            window = found.isEmpty() ? 0 : found.first();
            return window != 0;
        },
        timeoutMs, 100);
    return window;
}

quint64 RealDisplay::waitForMainWindow(QProcess *process, int timeoutMs) const
{
    return waitForWindow(process->processId(), u"^Sonabel$"_s, timeoutMs);
}

RealDisplay::WindowInfo RealDisplay::info(quint64 window) const
{
    WindowInfo result;
    QByteArray out;
    if (!tool(u"xwininfo"_s, {u"-id"_s, windowId(window)}, &out))
        return result;
    result.exists = true;
    const QString text = QString::fromLatin1(out);
    const auto value = [&](const QString &key) {
        return QRegularExpression(u"^\\s*"_s + key + u":\\s*(\\S+)"_s,
                                  QRegularExpression::MultilineOption)
            .match(text)
            .captured(1);
    };
    result.viewable = value(u"Map State"_s) == u"IsViewable"_s;
    result.geometry =
        QRect(value(u"Absolute upper-left X"_s).toInt(), value(u"Absolute upper-left Y"_s).toInt(),
              value(u"Width"_s).toInt(), value(u"Height"_s).toInt());
    return result;
}

QStringList RealDisplay::netWmState(quint64 window) const
{
    QByteArray out;
    if (!tool(u"xprop"_s, {u"-id"_s, windowId(window), u"_NET_WM_STATE"_s}, &out) ||
        !out.contains('='))
        return {};
    QStringList atoms =
        QString::fromLatin1(out.mid(out.indexOf('=') + 1)).split(u',', Qt::SkipEmptyParts);
    for (QString &atom : atoms)
        atom = atom.trimmed();
    atoms.removeAll(QString());
    return atoms;
}

QString RealDisplay::title(quint64 window) const
{
    QByteArray out;
    if (!tool(u"xdotool"_s, {u"getwindowname"_s, QString::number(window)}, &out))
        return {};
    return QString::fromUtf8(out).trimmed();
}

bool RealDisplay::activate(quint64 window) const
{
    return tool(u"wmctrl"_s, {u"-i"_s, u"-a"_s, windowId(window)});
}

bool RealDisplay::closeWindow(quint64 window) const
{
    return tool(u"wmctrl"_s, {u"-i"_s, u"-c"_s, windowId(window)});
}

bool RealDisplay::waitForGeometry(quint64 window,
                                  const std::function<bool(const QRect &)> &condition,
                                  int timeoutMs, QRect *last) const
{
    QRect seen;
    const bool met = pollUntil(
        [&] {
            seen = geometry(window);
            return condition(seen);
        },
        timeoutMs, 50);
    if (last)
        *last = seen;
    return met;
}

bool RealDisplay::xdotool(const char *command, const QStringList &arguments) const
{
    return tool(u"xdotool"_s, QStringList{QString::fromLatin1(command)} + arguments);
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

bool RealDisplay::key(const QString &keys) const
{
    return xdotool("key",
                   QStringList{u"--delay"_s, u"30"_s} + keys.split(u' ', Qt::SkipEmptyParts));
}

QImage RealDisplay::screenshot() const
{
    QByteArray png;
    if (!tool(u"import"_s, {u"-window"_s, u"root"_s, u"png:-"_s}, &png, 20000))
        return {};
    QImage image = QImage::fromData(png, "PNG");
    return image.convertToFormat(QImage::Format_RGB32);
}

bool RealDisplay::waitForScreen(const std::function<bool(const QImage &)> &condition, int timeoutMs,
                                QImage *last) const
{
    QImage seen;
    const bool met = pollUntil(
        [&] {
            seen = screenshot();
            return !seen.isNull() && condition(seen);
        },
        timeoutMs, 30);
    if (last)
        *last = seen;
    return met;
}

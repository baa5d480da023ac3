// The real program as its own process, for end-to-end tests.
#include "support/ProgramRun.h"

#include "engine/MidiFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

ProgramRun::ProgramRun() : environment(QProcessEnvironment::systemEnvironment())
{
    for (const QString &folder : {programFolder(), configHome(), runtimeDir(), scratch()})
        QDir().mkpath(folder);
    QFile::setPermissions(runtimeDir(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString build = QStringLiteral(SONABEL_BUILD_DIR);
    QFile::copy(build + u"/sonabel"_s, program());
    for (const char *name : {"GM.MID", "GS.MID"})
        QFile::copy(build + u'/' + QLatin1String(name),
                    programFolder() + u'/' + QLatin1String(name));

    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"XDG_CONFIG_HOME"_s, configHome());
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir());
    environment.insert(u"XDG_DATA_HOME"_s, m_root.filePath(u"data"_s));
    environment.insert(u"SONABEL_OUTPUT"_s, u"silent"_s);
}

ProgramRun::~ProgramRun()
{
    for (auto &process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QString ProgramRun::scratch(const QString &name) const
{
    const QString base = m_root.filePath(u"scratch"_s);
    return name.isEmpty() ? base : base + u'/' + name;
}

QProcess *ProgramRun::start(const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(workingDirectory);
    if (errorFile.isEmpty())
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else
        process->setStandardErrorFile(errorFile, QIODevice::Append);
    process->start(program(), arguments);
    process->waitForStarted(10000);
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

bool ProgramRun::startSessionBus()
{
    if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty() ||
        QStandardPaths::findExecutable(u"gdbus"_s).isEmpty())
        return false;
    auto bus = std::make_unique<QProcess>();
    bus->start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
    if (!bus->waitForStarted(10000) || !bus->waitForReadyRead(10000))
        return false;
    environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, QString::fromUtf8(bus->readLine()).trimmed());
    m_processes.push_back(std::move(bus));
    return true;
}

QString ProgramRun::gdbus(const QStringList &arguments) const
{
    QProcess p; // killed when it hangs
    p.setProcessEnvironment(environment);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(u"gdbus"_s, arguments);
    return p.waitForFinished(10000) ? QString::fromUtf8(p.readAll()) : QString();
}

QString ProgramRun::mpris(const QString &method, const QStringList &arguments) const
{
    const QString name =
        method.contains(u'.') ? method : u"org.mpris.MediaPlayer2.Player."_s + method;
    return gdbus(QStringList{u"call"_s, u"--session"_s, u"--dest"_s,
                             u"org.mpris.MediaPlayer2.sonabel"_s, u"--object-path"_s,
                             u"/org/mpris/MediaPlayer2"_s, u"--method"_s, name} +
                 arguments);
}

QString ProgramRun::mprisGet(const QString &property) const
{
    return mpris(u"org.freedesktop.DBus.Properties.Get"_s,
                 {u"org.mpris.MediaPlayer2.Player"_s, property});
}

QProcess *ProgramRun::monitorBus()
{
    auto monitor = std::make_unique<QProcess>();
    monitor->setProcessEnvironment(environment);
    monitor->start(u"gdbus"_s, {u"monitor"_s, u"--session"_s, u"--dest"_s,
                                u"org.mpris.MediaPlayer2.sonabel"_s});
    monitor->waitForStarted(10000);
    m_processes.push_back(std::move(monitor));
    return m_processes.back().get();
}

bool ProgramRun::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

bool ProgramRun::terminate(QProcess *process, int timeoutMs)
{
    if (process->state() == QProcess::NotRunning)
        return true;
    ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
    return process->waitForFinished(timeoutMs);
}

bool heardOnBus(QProcess *monitor, QString *seen, const QString &part, int timeoutMs)
{
    return ProgramRun::waitFor(
        [&] {
            *seen += QString::fromUtf8(monitor->readAllStandardOutput());
            return seen->contains(part);
        },
        timeoutMs);
}

QStringList readLines(const QString &path)
{
    QString text = QString::fromUtf8(readBytes(path));
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
    return path;
}

QString writeBytes(const QString &path, const std::vector<std::uint8_t> &bytes)
{
    return writeBytes(
        path, QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())));
}

QString writeLines(const QString &path, const QStringList &lines)
{
    return writeBytes(path, lines.isEmpty() ? QByteArray()
                                            : (lines.join(u"\r\n"_s) + u"\r\n"_s).toUtf8());
}

QString writeSteadySong(const QString &path, int seconds, int stepMs)
{
    SmfWriter w(0, 100);
    w.beginTrack();
    w.tempo(0, 500000); // 5 ms a tick
    w.channel(0, 0xC0, 0);
    const std::int64_t end = seconds * 200, step = stepMs / 5;
    for (std::int64_t tick = 0; tick < end; tick += step) {
        w.channel(tick, 0x90, 60, 120);
        w.channel(tick + step * 4 / 5, 0x80, 60, 0);
    }
    w.endTrack(end);
    return writeBytes(path, w.bytes());
}

std::vector<std::uint8_t> karaokeSong(const Syllables &syllables, int seconds)
{
    SmfWriter w(1, 500);
    w.beginTrack();
    w.tempo(0, 500000); // 1 ms a tick
    w.channel(0, 0xC0, 0);
    const std::int64_t end = std::int64_t(seconds) * 1000;
    for (std::int64_t tick = 0; tick < end; tick += 500) {
        w.channel(tick, 0x90, 64, 100);
        w.channel(tick + 400, 0x80, 64, 0);
    }
    w.endTrack(end);
    w.beginTrack(); // the words, in a track of their own
    for (const auto &[ms, text] : syllables)
        w.meta(ms, 0x05,
               std::span(reinterpret_cast<const std::uint8_t *>(text.data()), text.size()));
    w.endTrack(end);
    return w.bytes();
}

QString writeKaraokeSong(const QString &path, const Syllables &syllables, int seconds)
{
    return writeBytes(path, karaokeSong(syllables, seconds));
}

QStringList makeSongFiles(const ProgramRun &run, const QStringList &names)
{
    QStringList paths;
    for (const QString &name : names)
        paths.append(writeBytes(run.scratch(QStringLiteral("songs/") + name),
                                QByteArrayLiteral("not really music")));
    return paths;
}

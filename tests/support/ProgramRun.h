// The real program, started as its own process for end-to-end tests: a private
// copy of the program folder, a private settings folder and runtime folder,
// the offscreen platform and the silent output unless a test says otherwise.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// How long a test waits for something that only takes this long when it hangs.
constexpr int Patience = 30000; // ms

class ProgramRun
{
public:
    ProgramRun();
    // Kills whatever is still running.
    ~ProgramRun();

    QString programFolder() const { return m_root.filePath(QStringLiteral("program")); }
    QString program() const { return programFolder() + QStringLiteral("/sonabel"); }
    QString configHome() const { return m_root.filePath(QStringLiteral("config")); }
    QString runtimeDir() const { return m_root.filePath(QStringLiteral("runtime")); }
    QString iniFile() const { return configHome() + QStringLiteral("/Orvane/Sonabel.ini"); }
    QString defaultAlbum() const { return programFolder() + QStringLiteral("/default.mal"); }
    // A scratch folder for the test's own files.
    QString scratch(const QString &name = QString()) const;

    // Environment of every process started; tests may add to it.
    QProcessEnvironment environment;
    // The folder processes start in; empty: the test's own.
    QString workingDirectory;
    // Where the standard error of processes started from now on goes; empty:
    // to the test's own.
    QString errorFile;

    // Starts the program with these arguments; the process is owned by the run
    // and killed when the run ends.
    QProcess *start(const QStringList &arguments = {});

    // A private session bus for the processes started from here on (a
    // dbus-daemon, ended with the run); false when dbus-daemon or gdbus is
    // missing or the bus did not come up.
    bool startSessionBus();
    // gdbus with these arguments on that bus: its output (errors included),
    // empty when it hung.
    QString gdbus(const QStringList &arguments) const;
    // A method of the player's media interface (org.mpris.MediaPlayer2.Player,
    // or a full name such as "org.mpris.MediaPlayer2.Quit"), and a property
    // of it, as gdbus prints them.
    QString mpris(const QString &method, const QStringList &arguments = {}) const;
    QString mprisGet(const QString &property) const;
    // Watches what the player says on the bus (gdbus monitor).
    QProcess *monitorBus();

    // Polls until condition holds or timeoutMs passes; processes events meanwhile.
    static bool waitFor(const std::function<bool()> &condition, int timeoutMs);
    // Sends SIGTERM and waits for the end; false on a time-out.
    static bool terminate(QProcess *process, int timeoutMs);

private:
    QTemporaryDir m_root;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

// Waits until what monitor printed, gathered in *seen, holds part.
bool heardOnBus(QProcess *monitor, QString *seen, const QString &part, int timeoutMs = 10000);

// The lines of a text file (CR LF, CR or LF ends), and its raw bytes.
QStringList readLines(const QString &path);
QByteArray readBytes(const QString &path);
// Writes bytes to path, making its folder; returns the path.
QString writeBytes(const QString &path, const QByteArray &bytes);
QString writeBytes(const QString &path, const std::vector<std::uint8_t> &bytes);
// Writes the lines to path, each ended by CR LF as albums are; returns the path.
QString writeLines(const QString &path, const QStringList &lines);
// A steady song of this many seconds: a short note every stepMs. Returns the path.
QString writeSteadySong(const QString &path, int seconds, int stepMs);
// A steady song of this many seconds (a short note every 500 ms) with words:
// a Lyric event for each syllable, at its time in ms ('/' begins a line, '\\'
// a paragraph, as karaoke files mark them). Its bytes, or the path written.
using Syllables = std::vector<std::pair<int, std::string>>;
std::vector<std::uint8_t> karaokeSong(const Syllables &syllables, int seconds);
QString writeKaraokeSong(const QString &path, const Syllables &syllables, int seconds);
// Files of the given names in the run's scratch folder "songs", with a few
// bytes each (enough for the playlist, which never opens them); their paths.
QStringList makeSongFiles(const ProgramRun &run, const QStringList &names);

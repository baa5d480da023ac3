// The sequencer device the main window drives: a handful of properties, five
// string commands and two events. The window never sees how a file is played;
// it only sets properties, sends commands and reacts to Done and StatusUpdate.
//
// Threads: a device object lives on the window's thread. Every property and
// Command() is used from that thread only. Done and StatusUpdate are emitted on
// that thread too, always as queued events (never from inside Command()), so
// a handler never runs re-entrantly inside another handler's command.
//
// Contract of the commands (a real device and the test fake keep it alike):
//   "Open"  opens FileName. A file that cannot be played fails to open: Length()
//           is then 0 and later commands find nothing open.
//   "Play"  plays from From() when a From was set since the last command, else
//           from where the device stands (the start after "Open", the paused
//           point after "Pause"). With Wait() True it returns only when the file
//           has played to its end. With Notify() True the play raises Done when
//           it ends: 1 it reached the end, 2 a later "Play" superseded it,
//           4 "Pause", "Stop" or "Close" aborted it, 8 it failed.
//   "Pause" pauses a playing device; on a paused device it resumes (a resume
//           counts as a "Play" for Notify).
//   "Stop"  stops and goes back to the start; the file stays open.
//   "Close" closes the file; on a closed device it does nothing.
// Pause, Stop, Close, a new "Play" and every seek silence all sounding notes.
// From applies to the next command only. Unknown commands are ignored.
#pragma once

#include "engine/Lyrics.h"
#include "engine/SoundChoice.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class SequencerDevice : public QObject
{
    Q_OBJECT
public:
    enum NotifyCode {
        NotifySuccessful = 1,
        NotifySuperseded = 2,
        NotifyAborted = 4,
        NotifyFailure = 8,
    };

    explicit SequencerDevice(QObject *parent = nullptr);
    ~SequencerDevice() override;

    QString DeviceType() const { return m_deviceType; }
    void setDeviceType(const QString &type) { m_deviceType = type; }
    bool Wait() const { return m_wait; }
    void setWait(bool wait) { m_wait = wait; }
    bool Notify() const { return m_notify; }
    void setNotify(bool notify) { m_notify = notify; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    // Only 0 (milliseconds) is supported; Length, Position and From are in ms.
    int TimeFormat() const { return m_timeFormat; }
    void setTimeFormat(int format) { m_timeFormat = format; }
    qint32 From() const { return m_from.value_or(0); }
    void setFrom(qint32 ms) { m_from = ms; }

    // "Open", "Play", "Pause", "Stop" or "Close" (letter case ignored).
    void Command(const QString &command);

    // Length of the open file in ms (0 when nothing is open) and the position.
    virtual qint32 Length() const = 0;
    virtual qint32 Position() const = 0;

    // Whether a song is open and paused (a "Pause" stands, no later "Play").
    virtual bool isPaused() const { return false; }
    // What plays the songs now, in a line for the user (the about box).
    virtual QString outputDescription() const { return QString(); }
    // Plays through what the choice asks for from now on: the output is opened
    // anew and the open song goes on from where it stands, playing, paused or
    // stopped as it was. The environment still wins over the choice.
    virtual void setSound(const SoundChoice &choice) { (void)choice; }
    // The words of the open song, read when it opened: empty when it has none
    // or nothing is open. Never null; immutable, so safe to keep.
    virtual std::shared_ptr<const Lyrics> lyrics() const;

Q_SIGNALS:
    void Done(int NotifyCode);
    void StatusUpdate();
    // Something the user should know about the sound (no SoundFont, no audio,
    // a fall-back): one whole sentence, raised once per output opened.
    void SoundProblem(const QString &text);

protected:
    virtual void open(const QString &fileName) = 0;
    // from: where to start, or empty to go on from the current point.
    virtual void play(std::optional<qint32> from, bool wait, bool notify) = 0;
    virtual void pause(bool notify) = 0;
    virtual void stop() = 0;
    virtual void close() = 0;

    // For subclasses: raise Done(code) later, as a queued event on this thread.
    // Safe to call from any thread.
    void postDone(int code);
    // For subclasses: raise StatusUpdate later, as a queued event.
    void postStatusUpdate();

private:
    QString m_deviceType;
    QString m_fileName;
    std::optional<qint32> m_from;
    int m_timeFormat = 0;
    bool m_wait = false;
    bool m_notify = false;
};

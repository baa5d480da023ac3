// The sequencer device the player drives: a handful of properties, five
// string commands and a few events. The player never sees how a file is
// played; it only sets properties, sends commands and reacts to the events.
//
// Threads: a device object lives on the window's thread. Every property and
// Command() is used from that thread only, and no command waits for a file or
// for the playback thread (Play with Wait True excepted, which waits on
// purpose). Done, StatusUpdate and Opened are emitted on that thread too,
// always as queued events (never from inside Command()), so a handler never
// runs re-entrantly inside another handler's command.
//
// Contract of the commands (a real device and the test fake keep it alike):
//   "Open"  closes what was open and starts opening FileName, and returns at
//           once: the file is read on a worker. Until it is read the device is
//           opening (isOpening()): Length() and Position() are 0, and a "Play",
//           "Pause", "Stop" or From given meanwhile apply once it is open (a
//           "Play" waits for it, so the song starts when ready). Then Opened
//           is raised: false when the file cannot be played, which leaves
//           nothing open (Length() 0; a waiting notifying "Play" ends with 8).
//           "Close" or another "Open" meanwhile cancels the open: its file
//           never plays and no Opened is raised for it.
//           The Prelude, when set, is read with the file and played to its
//           end before the song first plays (the MIDI reset; one that cannot
//           be read is skipped); it applies to that "Open" only.
//   "Play"  plays from From() when a From was set since the last command, else
//           from where the device stands (the start after "Open", the paused
//           point after "Pause"). With Wait() True it returns only when the file
//           has been opened and has played to its end (tests and tools; the
//           player never waits). With Notify() True the play raises Done when
//           it ends: 1 it reached the end, 2 a later "Play" superseded it,
//           4 "Pause", "Stop" or "Close" aborted it, 8 it failed.
//   "Pause" pauses a playing device; on a paused device it resumes (a resume
//           counts as a "Play" for Notify).
//   "Stop"  stops and goes back to the start; the file stays open.
//   "Close" closes the file; on a closed device it does nothing.
// Pause, Stop, Close, a new "Play" and every seek silence all sounding notes;
// the cut and the prelude happen on the playback side, never in Command().
// From applies to the next command only. Unknown commands are ignored.
//
// A song's own end: its last notes are released and ring out. From the end on
// Position() holds Length() and isRingingOut() is true until the sound they
// left has died away (the synthesizer has no voice left or its output has
// stayed below -60 dBFS, at most 5 s after the end; an ALSA port a fixed 2 s;
// the silent and recording outputs at once). The moment it has, the device
// raises StatusUpdate at once, out of its once-a-second beat, and a play with
// Notify ends: Done(1) comes then, not at the end itself. So whoever moves on
// to the next song at the end waits until isRingingOut() is false (a
// StatusUpdate or Done(1) follows the moment it turns false). Meanwhile every
// command still silences at once and ends a notified play as it would a
// playing one: "Pause", "Stop" and "Close" with 4 (a "Pause" leaves the device
// stopped at the end, not paused), "Play" with 2. With Wait True, "Play"
// returns at the song's end, without waiting for the ring-out.
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
    // Played before the song of the next "Open"; empty: none.
    QString Prelude() const { return m_prelude; }
    void setPrelude(const QString &fileName) { m_prelude = fileName; }

    // "Open", "Play", "Pause", "Stop" or "Close" (letter case ignored).
    void Command(const QString &command);

    // Length of the open file in ms (0 when nothing is open) and the position.
    virtual qint32 Length() const = 0;
    virtual qint32 Position() const = 0;

    // Whether a song is open and paused (a "Pause" stands, no later "Play").
    virtual bool isPaused() const { return false; }
    // Whether a song that played to its end still rings out (see above).
    virtual bool isRingingOut() const { return false; }
    // Whether an "Open" is still reading its file.
    virtual bool isOpening() const { return false; }
    // What plays the songs now, in a line for the user (the about box).
    virtual QString outputDescription() const { return QString(); }
    // Plays through what the choice asks for from now on: the output is opened
    // anew and the open song goes on from where it stands, playing, paused or
    // stopped as it was. The environment still wins over the choice.
    virtual void setSound(const SoundChoice &choice) { (void)choice; }
    // The volume (a synthesizer's gain, 0 to SoundChoice::MaxGain), reverb
    // and chorus of the output in use, changed at once without opening it
    // anew. The next setSound() brings its own.
    virtual void setGain(double gain) { (void)gain; }
    virtual void setReverb(bool on) { (void)on; }
    virtual void setChorus(bool on) { (void)on; }
    // The words of the open song, read when it opened: empty when it has none
    // or nothing is open. Never null; immutable, so safe to keep.
    virtual std::shared_ptr<const Lyrics> lyrics() const;

Q_SIGNALS:
    void Done(int NotifyCode);
    void StatusUpdate();
    // Something the user should know about the sound (no SoundFont, no audio,
    // a fall-back): one whole sentence, raised once per output opened.
    void SoundProblem(const QString &text);
    // An "Open" has read its file: ok false when it cannot be played.
    void Opened(bool ok);

protected:
    // prelude: empty for none.
    virtual void open(const QString &fileName, const QString &prelude) = 0;
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
    QString m_prelude;
    std::optional<qint32> m_from;
    int m_timeFormat = 0;
    bool m_wait = false;
    bool m_notify = false;
};

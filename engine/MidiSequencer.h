// The real sequencer device: SequencerDevice's commands on top of a Scheduler.
//
// Threads: the object lives on the window's thread, and every command and
// property is used from there. Files are read and made into time lines on
// the SongOpener's worker; the result comes back as a queued event, and only
// the latest "Open" that was not cancelled is taken (commands given while it
// opens wait in m_pending). Nothing here ever waits for the worker or the
// playback thread, except "Play" with Wait True, which waits on purpose for
// the open and the song's end. Done and StatusUpdate come from the
// Scheduler's callbacks, on either thread, and are always posted as queued
// events to this object's thread (postDone/postStatusUpdate).
#pragma once

#include "engine/Clock.h"
#include "engine/MidiOutput.h"
#include "engine/Scheduler.h"
#include "engine/SequencerDevice.h"
#include "engine/SongOpener.h"

#include <memory>

class MidiSequencer : public SequencerDevice
{
    Q_OBJECT
public:
    MidiSequencer(std::shared_ptr<MidiOutput> output, std::shared_ptr<Clock> clock,
                  QObject *parent = nullptr);
    // Silences what sounds, stops the playback thread and closes the output.
    ~MidiSequencer() override;

    qint32 Length() const override;
    qint32 Position() const override;
    bool isPaused() const override;
    bool isRingingOut() const override;
    bool isOpening() const override { return m_opening != 0; }
    QString outputDescription() const override;
    void setSound(const SoundChoice &choice) override;
    void setGain(double gain) override { m_output->setGain(gain); }
    void setReverb(bool on) override { m_output->setReverb(on); }
    void setChorus(bool on) override { m_output->setChorus(on); }
    std::shared_ptr<const Lyrics> lyrics() const override;

    // Plays through another output from now on, the open song going on from
    // where it stands. Waits (a few seconds at most) for the new output to
    // open, so that the song does not rush to catch up afterwards. A song
    // ringing out is cut: its ring-out ends there (StatusUpdate, and Done(1)
    // for a notified play).
    void replaceOutput(std::shared_ptr<MidiOutput> output);

    // Why the last "Open" failed, empty after a successful one.
    QString errorString() const { return m_error; }
    // The output's status line ("FluidSynth: ...", "no audio output ...").
    QString outputStatus() const;

    // For benchmarks: called on the playback thread after each event is sent.
    void setDispatchProbe(std::function<void(std::int64_t due, std::int64_t sent)> probe);

protected:
    void open(const QString &fileName, const QString &prelude) override;
    void play(std::optional<qint32> from, bool wait, bool notify) override;
    void pause(bool notify) override;
    void stop() override;
    void close() override;

private:
    // What was asked for while the file opens, applied once it is open.
    struct Pending
    {
        bool play = false;
        bool paused = false;
        bool notify = false;
        std::optional<qint32> from;
    };

    std::unique_ptr<Scheduler> makeScheduler();
    // The worker's result, on this thread; stale ones are dropped.
    void songRead(const SongOpener::Result &result);
    // A notifying play waiting for the open ends with code.
    void endPending(int code);

    std::shared_ptr<std::function<void(std::int64_t, std::int64_t)>> m_probe;
    std::shared_ptr<MidiOutput> m_output;
    std::shared_ptr<Clock> m_clock;
    std::shared_ptr<const Timeline> m_song; // the open song, for replaceOutput()
    std::shared_ptr<const Lyrics> m_lyrics; // its words; null when nothing is open
    std::unique_ptr<Scheduler> m_scheduler;
    QString m_error;
    std::unique_ptr<SongOpener> m_opener;
    std::uint64_t m_opening = 0; // the open in progress; 0: none
    Pending m_pending;
};

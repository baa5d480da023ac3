// The scheduler: plays a Timeline to a MidiOutput on its own thread, by an
// injectable Clock. Plain C++ (no Qt); MidiSequencer puts the SequencerDevice
// face on it.
//
// Threads and locks:
//  - The control thread (the window's) calls load/play/pause/stop and the
//    getters. Each request changes the shared state under m_mutex, bumps the
//    generation and wakes the clock; it never waits for the playback thread
//    (waitFinished() excepted, which is the point of it).
//  - The playback thread owns the output, the chase and the sounding-note
//    bookkeeping, and touches them without a lock. At a safe point (between
//    two events, or on waking) it sees a new generation, silences what it
//    sounded (releases every note, then cuts the sound for good), chases to
//    the new position and carries on from there. At the song's own end it
//    only releases the notes, so they ring out: the song is stopped at its
//    end and ringingOut() holds until the output says their sound has died
//    away (asked every 10 ms, MidiOutput::diedAway) or its limit has passed.
//    A notifying play ends with Finished then, not at the end itself; any
//    request meanwhile cuts the sound and ends it as it would a playing one.
//    A song loaded with a prelude (the MIDI reset) plays it there too, to its
//    end, before the song first starts after the load; a request meanwhile
//    cuts it short.
//  - The song's time line is fixed by an anchor: song time anchorSongUs at
//    clock time anchorClockUs. The control thread sets it; the playback thread
//    times events by it and position() reads it, so both agree by construction.
//    Once ready to start (silenced, chased), the playback thread moves the
//    clock time up to its own now, so a slow start sends nothing late; the
//    position holds where the play starts until then.
//  - Callbacks (done, status, dispatched) run on whichever thread calls them:
//    done on either, status and dispatched on the playback thread. They must
//    only post work elsewhere (MidiSequencer queues Qt events). No callback
//    runs with m_mutex held: done codes are queued under it and delivered
//    after it is released, in the order they were queued.
//  - The playback thread asks for real-time priority (SCHED_FIFO 40, below
//    FluidSynth's audio thread) and gives it up while an output loads a song's
//    instruments. Where the system refuses, it runs at normal priority.
//  - No exception leaves the playback thread: a failure ends the play with
//    code 8 and is kept in status().
#pragma once

#include "engine/Chase.h"
#include "engine/Clock.h"
#include "engine/MidiOutput.h"
#include "engine/Timeline.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class Scheduler
{
public:
    enum class Mode { Closed, Stopped, Playing, Paused };
    // The codes of SequencerDevice::NotifyCode.
    enum DoneCode { Finished = 1, Superseded = 2, Aborted = 4, Failed = 8 };

    struct Callbacks
    {
        // A notifying play ended with one of the DoneCode values.
        std::function<void(int)> done;
        // Every status period (1 s of clock time), whether anything plays or
        // not, and once more the moment a song's last notes have died away.
        std::function<void()> status;
        // After each event sent: when it was due and when it went (clock us).
        std::function<void(std::int64_t due, std::int64_t sent)> dispatched;
        // Once, on the playback thread, when the output's open() has returned.
        std::function<void()> opened;
    };

    static constexpr std::int64_t StatusPeriodUs = 1000000;

    Scheduler(std::shared_ptr<MidiOutput> output, std::shared_ptr<Clock> clock,
              Callbacks callbacks);
    // Silences what sounds, closes the output and joins the playback thread.
    ~Scheduler();
    Scheduler(const Scheduler &) = delete;
    Scheduler &operator=(const Scheduler &) = delete;

    // Opens a song (stopped at its start), or closes with nullptr. A notifying
    // play still running ends with Aborted. The prelude, when given, is played
    // to its end before the song's first start after this load.
    void load(std::shared_ptr<const Timeline> song,
              std::shared_ptr<const Timeline> prelude = nullptr);
    // Plays from fromUs, or on from where the song stands. Returns an id for
    // waitFinished(), or 0 when nothing is open (then a notifying play ends
    // at once with Failed). A notifying play still running ends Superseded.
    std::uint64_t play(std::optional<std::int64_t> fromUs, bool notify);
    // Blocks until the play with this id has ended, for whatever reason, or
    // timeoutMs has passed; true when it ended. A bound is a must: a playback
    // thread stuck in its output (a sound server that never answers) would
    // otherwise hold the caller for good.
    bool waitFinished(std::uint64_t playId, std::int64_t timeoutMs);
    // Pauses a playing song; cuts the sound of one ringing out (it stays
    // stopped at its end).
    void pause();
    void stop();
    // Puts the open song at atUs without playing it: paused there (a "Play"
    // without a position goes on from there), or stopped there. Used to carry
    // a song over to a new output.
    void cue(std::int64_t atUs, bool paused);
    // Blocks until the output's open() has returned, or the time-out passed;
    // true when it has returned.
    bool waitOutputOpen(std::int64_t timeoutMs);

    // Ends a scheduler, waiting at most timeoutMs for its playback thread: one
    // stuck in its output is left to a thread of its own, which frees the
    // scheduler once it ends. No callback runs once this is called.
    static void retire(std::unique_ptr<Scheduler> scheduler, std::int64_t timeoutMs);

    Mode mode() const;
    std::int64_t positionUs() const;
    std::int64_t lengthUs() const;
    // Whether the play running would raise done() when it ends.
    bool notifyPending() const;
    // Whether a song that reached its end still rings out.
    bool ringingOut() const;
    // The output's status line, or the playback thread's last failure.
    std::string status() const;

private:
    struct State
    {
        std::shared_ptr<const Timeline> song;
        std::shared_ptr<const Timeline> prelude;
        std::uint64_t loadId = 0; // counts the loads, for the prelude
        Mode mode = Mode::Closed;
        std::int64_t anchorSongUs = 0;
        std::int64_t anchorClockUs = 0;
        std::uint64_t generation = 0;
        bool ended = false;   // stopped by reaching the end, not by a request
        bool ringing = false; // ended, and its last notes not yet died away
        bool started = false; // playing: set up and timed (the position moves)
    };

    void run() noexcept;
    void loop();
    void resync(const State &previous, const State &next);
    void startWhenReady(State &wanted);
    void playPrelude(const Timeline &prelude, std::uint64_t generation);
    std::int64_t dispatchDue(const State &state, std::int64_t now);
    void finish(std::uint64_t generation);
    // While a song's last notes ring out: ends the ringing once they have died
    // away; returns when to look again.
    std::int64_t watchRingOut(const State &state, std::int64_t now);
    void changed(); // after a request: bump the generation and wake the thread
    std::int64_t positionLocked(std::int64_t now) const;
    void endNotify(int code);
    void deliverDone();
    static bool setRealtime(bool on);

    std::shared_ptr<MidiOutput> m_output;
    std::shared_ptr<Clock> m_clock;
    Callbacks m_callbacks;

    mutable std::mutex m_mutex;
    std::condition_variable m_ended; // a play ended (for waitFinished)
    State m_state;
    std::uint64_t m_playId = 0;
    bool m_notifyPending = false;
    std::deque<int> m_doneCodes; // waiting for deliverDone()
    std::recursive_mutex m_delivering;
    bool m_quit = false;
    bool m_outputOpen = false;
    bool m_threadEnded = false;         // run() has returned, or is about to
    std::atomic<bool> m_retired{false}; // retire(): callbacks no longer run
    std::string m_error;
    std::atomic<std::uint64_t> m_generation{0};

    // Playback thread only.
    bool m_realtime = false;
    std::size_t m_cursor = 0;
    SoundingNotes m_notes;
    std::shared_ptr<const Timeline> m_preparedSong;
    std::uint64_t m_preludeLoad = 0; // the load whose prelude has been played
    ChaseState m_touched;
    std::int64_t m_ringUntil = 0; // clock time the ring-out is cut short

    std::thread m_thread; // last: starts once everything above exists
};

// The scheduler's playback thread and the requests that steer it. The thread
// model is described in Scheduler.h.
#include "engine/Scheduler.h"

#include <algorithm>
#include <chrono>
#include <exception>
#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#endif

// Switches the calling thread to or from real-time scheduling; true when done.
bool Scheduler::setRealtime(bool on)
{
#ifdef __linux__
    sched_param param{};
    param.sched_priority = on ? 40 : 0;
    return pthread_setschedparam(pthread_self(), on ? SCHED_FIFO : SCHED_OTHER, &param) == 0;
#else
    (void)on;
    return false;
#endif
}

Scheduler::Scheduler(std::shared_ptr<MidiOutput> output, std::shared_ptr<Clock> clock,
                     Callbacks callbacks)
    : m_output(std::move(output)), m_clock(std::move(clock)), m_callbacks(std::move(callbacks)),
      m_thread([this] { run(); })
{}

Scheduler::~Scheduler()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_clock->wake();
    m_thread.join();
}

void Scheduler::changed()
{
    m_state.ended = false;
    m_state.ringing = false;
    ++m_state.generation;
    m_generation.store(m_state.generation);
}

void Scheduler::endNotify(int code)
{
    // Called with m_mutex held; deliverDone() passes the code on.
    if (m_notifyPending) {
        m_notifyPending = false;
        m_doneCodes.push_back(code);
    }
}

void Scheduler::deliverDone()
{
    // Called without m_mutex. Codes leave in the order they were queued, even
    // when the two threads both deliver: whoever holds m_delivering drains the
    // queue. The mutex is recursive so that a done callback that calls back
    // into a request does not deadlock.
    std::lock_guard delivering(m_delivering);
    for (;;) {
        int code = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_doneCodes.empty())
                return;
            code = m_doneCodes.front();
            m_doneCodes.pop_front();
        }
        if (m_callbacks.done && !m_retired)
            m_callbacks.done(code);
    }
}

void Scheduler::load(std::shared_ptr<const Timeline> song, std::shared_ptr<const Timeline> prelude)
{
    {
        std::lock_guard lock(m_mutex);
        endNotify(Aborted);
        m_state.song = std::move(song);
        m_state.prelude = m_state.song ? std::move(prelude) : nullptr;
        ++m_state.loadId;
        m_state.mode = m_state.song ? Mode::Stopped : Mode::Closed;
        m_state.anchorSongUs = 0;
        ++m_playId;
        changed();
    }
    deliverDone();
    m_ended.notify_all();
    m_clock->wake();
}

std::uint64_t Scheduler::play(std::optional<std::int64_t> fromUs, bool notify)
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_state.song) {
            endNotify(Superseded);
            const std::int64_t now = m_clock->now();
            const std::int64_t from = fromUs ? *fromUs : positionLocked(now);
            m_state.anchorSongUs = std::clamp<std::int64_t>(from, 0, m_state.song->lengthUs());
            m_state.anchorClockUs = now;
            m_state.mode = Mode::Playing;
            m_state.started = false;
            m_notifyPending = notify;
            id = ++m_playId;
            changed();
        } else if (notify) {
            m_doneCodes.push_back(Failed); // nothing to play
        }
    }
    deliverDone();
    if (id != 0) {
        m_ended.notify_all();
        m_clock->wake();
    }
    return id;
}

bool Scheduler::waitFinished(std::uint64_t playId, std::int64_t timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_ended.wait_for(lock, std::chrono::milliseconds(std::max<std::int64_t>(timeoutMs, 0)),
                            [&] { return m_playId != playId || m_state.mode != Mode::Playing; });
}

void Scheduler::retire(std::unique_ptr<Scheduler> scheduler, std::int64_t timeoutMs)
{
    if (!scheduler)
        return;
    Scheduler &s = *scheduler;
    s.m_retired = true;
    bool ended = false;
    {
        std::unique_lock lock(s.m_mutex);
        s.m_quit = true;
        lock.unlock();
        s.m_clock->wake();
        lock.lock();
        ended = s.m_ended.wait_for(lock,
                                   std::chrono::milliseconds(std::max<std::int64_t>(timeoutMs, 0)),
                                   [&] { return s.m_threadEnded; });
    }
    if (ended)
        return; // the join in the destructor is immediate
    try {
        std::thread([doomed = std::move(scheduler)]() mutable { doomed.reset(); }).detach();
    } catch (...) {
        (void)scheduler.release(); // no thread to be had: left for good
    }
}

void Scheduler::pause()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state.mode != Mode::Playing && !m_state.ringing)
            return;
        endNotify(Aborted);
        if (m_state.mode == Mode::Playing) {
            m_state.anchorSongUs = positionLocked(m_clock->now());
            m_state.mode = Mode::Paused;
        }
        changed();
    }
    deliverDone();
    m_ended.notify_all();
    m_clock->wake();
}

void Scheduler::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state.mode == Mode::Closed)
            return;
        endNotify(Aborted);
        m_state.anchorSongUs = 0;
        m_state.mode = Mode::Stopped;
        changed();
    }
    deliverDone();
    m_ended.notify_all();
    m_clock->wake();
}

void Scheduler::cue(std::int64_t atUs, bool paused)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_state.song)
            return;
        endNotify(Aborted);
        m_state.anchorSongUs = std::clamp<std::int64_t>(atUs, 0, m_state.song->lengthUs());
        m_state.mode = paused ? Mode::Paused : Mode::Stopped;
        changed();
    }
    m_ended.notify_all();
    m_clock->wake();
}

bool Scheduler::waitOutputOpen(std::int64_t timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return m_outputOpen; });
}

bool Scheduler::notifyPending() const
{
    std::lock_guard lock(m_mutex);
    return m_notifyPending;
}

bool Scheduler::ringingOut() const
{
    std::lock_guard lock(m_mutex);
    return m_state.ringing;
}

Scheduler::Mode Scheduler::mode() const
{
    std::lock_guard lock(m_mutex);
    return m_state.mode;
}

std::int64_t Scheduler::positionLocked(std::int64_t now) const
{
    if (!m_state.song)
        return 0;
    if (m_state.mode != Mode::Playing || !m_state.started)
        return m_state.anchorSongUs;
    const std::int64_t elapsed = std::max<std::int64_t>(0, now - m_state.anchorClockUs);
    return std::min(m_state.song->lengthUs(), m_state.anchorSongUs + elapsed);
}

std::int64_t Scheduler::positionUs() const
{
    const std::int64_t now = m_clock->now();
    std::lock_guard lock(m_mutex);
    return positionLocked(now);
}

std::int64_t Scheduler::lengthUs() const
{
    std::lock_guard lock(m_mutex);
    return m_state.song ? m_state.song->lengthUs() : 0;
}

std::string Scheduler::status() const
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_error.empty())
            return m_error;
    }
    return m_output->status();
}

void Scheduler::run() noexcept
{
#ifdef __linux__
    // Wake-ups as close to the deadline as the kernel allows (the default slack
    // is 50 us, on top of the scheduling delay).
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // Real-time priority where the user may have it (as FluidSynth's audio
    // thread does), so a busy machine does not make notes late. The thread
    // sleeps between events, so it never holds a core. Refused: no matter.
    m_realtime = setRealtime(true);
#endif
    try {
        m_output->open();
    } catch (...) {
        std::lock_guard lock(m_mutex);
        m_error = "the output failed to open";
    }
    {
        std::lock_guard lock(m_mutex);
        m_outputOpen = true;
    }
    m_ended.notify_all();
    if (m_callbacks.opened && !m_retired)
        m_callbacks.opened();
    // The loop only returns when asked to quit; a failure inside ends the play
    // that was running and the loop starts over.
    for (;;) {
        try {
            loop();
            break;
        } catch (const std::exception &e) {
            std::lock_guard lock(m_mutex);
            m_error = std::string("playback failed: ") + e.what();
            m_state.mode = m_state.song ? Mode::Stopped : Mode::Closed;
            changed();
            endNotify(Failed);
        } catch (...) {
            std::lock_guard lock(m_mutex);
            m_error = "playback failed";
            m_state.mode = m_state.song ? Mode::Stopped : Mode::Closed;
            changed();
            endNotify(Failed);
        }
        deliverDone();
        m_ended.notify_all();
    }
    try {
        m_notes.silence(*m_output, 0);
        m_output->close();
    } catch (...) {
    }
    {
        std::lock_guard lock(m_mutex);
        m_threadEnded = true;
    }
    m_ended.notify_all();
}

void Scheduler::loop()
{
    State current; // what the thread plays now (generation 0: nothing yet)
    std::int64_t nextStatus = m_clock->now() + StatusPeriodUs;
    for (;;) {
        State wanted;
        {
            std::lock_guard lock(m_mutex);
            if (m_quit)
                return;
            wanted = m_state;
        }
        if (wanted.generation != current.generation) {
            resync(current, wanted);
            if (wanted.mode == Mode::Playing)
                startWhenReady(wanted);
            current = wanted;
            continue;
        }

        const std::int64_t now = m_clock->now();
        if (now >= nextStatus) {
            if (m_callbacks.status && !m_retired)
                m_callbacks.status();
            nextStatus += StatusPeriodUs;
            if (nextStatus <= now) // the clock jumped: keep the beat, skip the missed ones
                nextStatus = now + StatusPeriodUs - (now - nextStatus) % StatusPeriodUs;
        }

        std::int64_t deadline = nextStatus;
        if (current.ringing) {
            const std::int64_t look = watchRingOut(current, now);
            if (look < 0)
                current.ringing = false;
            else
                deadline = std::min(deadline, look);
        }
        if (current.mode == Mode::Playing) {
            const std::int64_t due = dispatchDue(current, now);
            if (due < 0) {
                finish(current.generation);
                continue;
            }
            deadline = std::min(deadline, due);
        }
        if (m_generation.load() != current.generation)
            continue;
        if (m_clock->now() < deadline)
            m_clock->waitUntil(deadline);
    }
}

void Scheduler::resync(const State &previous, const State &next)
{
    std::uint16_t channels = 0;
    if (previous.song)
        channels |= previous.song->channelsUsed();
    if (next.song)
        channels |= next.song->channelsUsed();
    m_cursor = 0;
    if (next.ended) {
        // The song's own end: its last notes ring out.
        m_notes.release(*m_output, channels);
        m_ringUntil = m_clock->now() + m_output->ringOutLimitUs();
        return;
    }
    // Every request silences at once, before the chase sets up what comes next.
    m_notes.silence(*m_output, channels);
    if (next.mode == Mode::Playing && next.prelude && next.loadId != m_preludeLoad) {
        m_preludeLoad = next.loadId;
        playPrelude(*next.prelude, next.generation);
        // A reset may let go of what the output loaded for the song.
        m_preparedSong.reset();
    }
    if (next.song && next.song != m_preparedSong) {
        // Loading instruments can take a while: not at real-time priority,
        // where it would hold a core away from the window.
        if (m_realtime)
            setRealtime(false);
        m_output->prepare(next.song->instruments());
        // What the song ever sets, for the chase: a walk over every event,
        // made once when the song comes rather than each time it starts.
        m_touched = ChaseState();
        m_touched.applyUntil(*next.song, next.song->events().size());
        if (m_realtime)
            setRealtime(true);
        m_preparedSong = next.song;
    }
    if (next.mode != Mode::Playing || !next.song)
        return;

    const Timeline &song = *next.song;
    m_cursor = song.indexAt(next.anchorSongUs);
    ChaseState state;
    state.applyUntil(song, m_cursor);
    state.emit(*m_output, song.channelsUsed(), m_touched);
}

void Scheduler::playPrelude(const Timeline &prelude, std::uint64_t generation)
{
    // In real time, to its end (a reset file ends with the time the
    // synthesizer needs to settle); a request meanwhile ends it early.
    const std::int64_t start = m_clock->now();
    const auto &events = prelude.events();
    for (std::size_t i = 0; i <= events.size(); ++i) {
        const std::int64_t due =
            start + (i < events.size() ? std::int64_t(events[i].timeUs) : prelude.lengthUs());
        while (m_clock->now() < due) {
            if (m_generation.load() != generation)
                return;
            m_clock->waitUntil(due);
        }
        if (i == events.size() || m_generation.load() != generation)
            return;
        const TimedEvent &e = events[i];
        if (e.eventClass == TimedEvent::SysEx) {
            m_output->sendSysEx(prelude.sysEx(e));
        } else if (e.eventClass != TimedEvent::Tempo) {
            m_output->send(e.status, e.data1, e.data2);
            m_notes.track(e.status, e.data1, e.data2);
        }
    }
}

void Scheduler::startWhenReady(State &wanted)
{
    // Silencing, loading instruments and the chase take a while, long with a
    // big song: the song then starts once they are done, rather than sending
    // its first moments late, all at once.
    // Until then the position stands where the song starts.
    const std::int64_t now = m_clock->now();
    std::lock_guard lock(m_mutex);
    if (m_state.generation != wanted.generation)
        return;
    if (now > wanted.anchorClockUs)
        m_state.anchorClockUs = wanted.anchorClockUs = now;
    m_state.started = wanted.started = true;
}

// Sends every event due by now. Returns the clock time the next event (or the
// end of the song) is due, or -1 once the end has been reached.
std::int64_t Scheduler::dispatchDue(const State &state, std::int64_t now)
{
    const Timeline &song = *state.song;
    const auto &events = song.events();
    const std::int64_t offset = state.anchorClockUs - state.anchorSongUs;
    int sinceCheck = 0;
    while (m_cursor < events.size()) {
        const TimedEvent &e = events[m_cursor];
        const std::int64_t due = e.timeUs + offset;
        if (due > now) {
            now = m_clock->now(); // sending may have taken a while
            if (due > now)
                return due;
        }
        if (e.eventClass == TimedEvent::SysEx) {
            m_output->sendSysEx(song.sysEx(e));
        } else if (e.eventClass != TimedEvent::Tempo) {
            m_output->send(e.status, e.data1, e.data2);
            m_notes.track(e.status, e.data1, e.data2);
        }
        ++m_cursor;
        if (m_callbacks.dispatched && !m_retired.load(std::memory_order_relaxed))
            m_callbacks.dispatched(due, m_clock->now());
        // A request (stop, seek) is taken between two events, not after a burst.
        if (++sinceCheck == 32) {
            sinceCheck = 0;
            if (m_generation.load() != state.generation)
                return now;
        }
    }
    const std::int64_t end = song.lengthUs() + offset;
    return end > now ? end : -1;
}

void Scheduler::finish(std::uint64_t generation)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_state.generation != generation)
            return; // a request came first: it wins
        m_state.anchorSongUs = m_state.song ? m_state.song->lengthUs() : 0;
        m_state.mode = Mode::Stopped;
        // The new generation makes the loop release what the file left on;
        // the notes ring out (any later request cuts them), and a notifying
        // play ends once they have died away.
        changed();
        m_state.ended = true;
        m_state.ringing = true;
    }
    m_ended.notify_all();
}

std::int64_t Scheduler::watchRingOut(const State &state, std::int64_t now)
{
    constexpr std::int64_t LookEveryUs = 10000;
    if (now < m_ringUntil && !m_output->diedAway())
        return std::min(m_ringUntil, now + LookEveryUs);
    {
        std::lock_guard lock(m_mutex);
        if (m_state.generation != state.generation)
            return -1; // a request came first: it cuts the sound anyway
        m_state.ringing = false;
        endNotify(Finished);
    }
    deliverDone();
    if (m_callbacks.status)
        m_callbacks.status();
    return -1;
}

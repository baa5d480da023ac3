// The clock the sequencer runs by. The player uses the steady system clock;
// tests use ManualClock and step time by hand, so every test of timing is
// deterministic.
//
// Threads: now() and wake() may be called from any thread. waitUntil() is
// called by the one thread that runs the schedule. A wake() that comes while
// nobody waits is kept and ends the next waitUntil() at once, so a request
// posted just before the wait is never missed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class Clock
{
public:
    virtual ~Clock() = default;
    // Microseconds from an arbitrary start.
    virtual std::int64_t now() const = 0;
    // Blocks until now() >= deadline or wake() is called.
    virtual void waitUntil(std::int64_t deadline) = 0;
    virtual void wake() = 0;
};

class SteadyClock : public Clock
{
public:
    std::int64_t now() const override
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void waitUntil(std::int64_t deadline) override
    {
        std::unique_lock lock(m_mutex);
        const auto until =
            std::chrono::steady_clock::time_point(std::chrono::microseconds(deadline));
        m_cv.wait_until(lock, until, [this] { return m_woken; });
        m_woken = false;
    }
    void wake() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_woken = true;
        }
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_woken = false;
};

// Time moves only when a test calls advance(). waitForIdle() lets the test wait
// until the scheduling thread has done everything due at the current time and
// is blocked again.
class ManualClock : public Clock
{
public:
    explicit ManualClock(std::int64_t start = 0) : m_now(start) {}

    std::int64_t now() const override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    void waitUntil(std::int64_t deadline) override
    {
        std::unique_lock lock(m_mutex);
        m_waiting = true;
        m_deadline = deadline;
        m_cv.notify_all();
        m_cv.wait(lock, [&] { return m_woken || m_now >= deadline; });
        m_woken = false;
        m_waiting = false;
    }
    void wake() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_woken = true;
        }
        m_cv.notify_all();
    }
    void advance(std::int64_t us)
    {
        {
            std::lock_guard lock(m_mutex);
            m_now += us;
        }
        m_cv.notify_all();
    }
    // True once the scheduler waits for a time still to come with no wake-up
    // pending; false if that did not happen within the timeout.
    bool waitForIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout,
                             [&] { return m_waiting && !m_woken && m_now < m_deadline; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::int64_t m_now;
    std::int64_t m_deadline = 0;
    bool m_waiting = false;
    bool m_woken = false;
};

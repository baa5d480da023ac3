// What the machine itself allows: a thread at the same real-time priority as
// the playback thread sleeps to a deadline every 2 ms and records how late it
// wakes. Any sequencer on this machine is at least this late; the timing
// figures are read against it.
//
// Usage: timer_floor [SECONDS]   (60 by default)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <vector>

namespace {

long long nowNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    sched_param param{};
    param.sched_priority = 40;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    std::vector<long long> lateness(static_cast<size_t>(seconds) * 500);
    const long long start = nowNs() + 1000000;
    for (size_t i = 0; i < lateness.size(); ++i) {
        const long long due = start + static_cast<long long>(i) * 2000000;
        const timespec at{static_cast<time_t>(due / 1000000000),
                          static_cast<long>(due % 1000000000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        lateness[i] = (nowNs() - due) / 1000;
    }
    std::sort(lateness.begin(), lateness.end());
    std::printf("floor_median_us: %lld\nfloor_p99_us: %lld\nfloor_max_us: %lld\n",
                lateness[lateness.size() / 2], lateness[lateness.size() * 99 / 100],
                lateness.back());
    return 0;
}

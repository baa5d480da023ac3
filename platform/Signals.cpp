// Termination signals turned into a Qt signal through a self-pipe, and the
// watchdog of the program's end.
#include "platform/Signals.h"

#include <QSocketNotifier>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t arrived = 0;
const int caught[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[std::size(caught)]; // put back when the catching ends

extern "C" void onSignal(int number)
{
    arrived = 1;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing but write() is safe here; a full pipe means a request is pending.
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0)
        return;
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        if (::read(pipeFds[0], &byte, 1) == 1)
            Q_EMIT terminationRequested(byte);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(caught); ++i) {
        ::sigaction(caught[i], nullptr, &previous[i]);
        // A hang-up ignored by whoever started the program (nohup) stays
        // ignored: the player is meant to outlive its terminal.
        if (caught[i] == SIGHUP && previous[i].sa_handler == SIG_IGN)
            continue;
        ::sigaction(caught[i], &action, nullptr);
    }
}

void endProcessAfter(int ms, int status)
{
    try {
        std::thread([ms, status] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            std::_Exit(status);
        }).detach();
    } catch (...) {
        // No thread to be had: the normal end has to do.
    }
}

bool TerminationSignals::pending()
{
    return arrived != 0;
}

TerminationSignals::~TerminationSignals()
{
    for (std::size_t i = 0; i < std::size(caught); ++i)
        ::sigaction(caught[i], &previous[i], nullptr);
    delete m_notifier;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

// Termination requests from outside: SIGTERM, SIGINT and SIGHUP arrive as one
// Qt signal on the window's thread, so the program can close itself normally.
// A SIGHUP that was ignored when the program started (nohup) stays ignored.
#pragma once

#include <QObject>

class QSocketNotifier;

// The watchdog of the program's end: once the playlist and the settings are
// safe, the process ends with status within ms even if something it waits
// for on the way out (a sound device that never closes) does not return.
void endProcessAfter(int ms, int status);

class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    // Only one instance may exist; it catches the signals while it lives.
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // True once a termination signal has arrived, also before the event loop
    // has delivered terminationRequested; safe to poll from long work.
    static bool pending();

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};

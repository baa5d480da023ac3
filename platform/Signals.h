// Termination requests from outside: SIGTERM, SIGINT and SIGHUP arrive as one
// Qt signal on the window's thread, so the program can close itself normally.
#pragma once

#include <QObject>

class QSocketNotifier;

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

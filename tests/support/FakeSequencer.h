// A scripted sequencer device: files open when a length was scripted for them,
// every command is logged, and time moves only when the test says so.
#pragma once

#include "playback/SequencerDevice.h"

#include <QHash>
#include <QStringList>

class FakeSequencer : public SequencerDevice
{
    Q_OBJECT
public:
    // Files with a scripted length open; every other file fails to open.
    void script(const QString &fileName, qint32 lengthMs) { m_lengths.insert(fileName, lengthMs); }

    qint32 Length() const override { return m_open ? m_length : 0; }
    qint32 Position() const override { return m_open ? m_position : 0; }
    void setPosition(qint32 ms) { m_position = ms; }

    // The song reaches its end: Done(1) when its play was notified.
    void finish();

    // "Open /x.mid", "Play", "Play from 1000", "Play wait", "Pause", "Resume",
    // "Stop", "Close" — one entry per command that reached the device.
    QStringList log;
    QString openFile() const { return m_open ? m_file : QString(); }
    bool isPlaying() const { return m_playing; }
    bool isPaused() const { return m_paused; }
    // Files opened, in order, without the reset files' plays filtered out.
    QStringList opened() const;

protected:
    void open(const QString &fileName) override;
    void play(std::optional<qint32> from, bool wait, bool notify) override;
    void pause(bool notify) override;
    void stop() override;
    void close() override;

private:
    void endPendingPlay(int code);

    QHash<QString, qint32> m_lengths;
    QString m_file;
    qint32 m_length = 0;
    qint32 m_position = 0;
    bool m_open = false;
    bool m_playing = false;
    bool m_paused = false;
    bool m_notifyPending = false;
};

// A scripted sequencer device: files open when a length was scripted for them,
// every command is logged, and time moves only when the test says so. An
// "Open" finishes at once (Opened still comes as a queued event); the real
// device, which reads on a worker, is tested as such.
#pragma once

#include "engine/SequencerDevice.h"

#include <QHash>
#include <QStringList>

class FakeSequencer : public SequencerDevice
{
    Q_OBJECT
public:
    // Files with a scripted length open; every other file fails to open.
    void script(const QString &fileName, qint32 lengthMs) { m_lengths.insert(fileName, lengthMs); }
    void setPosition(qint32 ms) { m_position = ms; }
    // The words lyrics() gives while the file is open.
    void scriptLyrics(const QString &fileName, std::shared_ptr<const Lyrics> lyrics)
    {
        m_lyrics.insert(fileName, std::move(lyrics));
    }
    // The song reaches its end: Done(1) when its play was notified. With
    // ringOut, its last notes ring out until endRingOut(): Done(1) and a
    // StatusUpdate come then, unless a command cut them first.
    void finish(bool ringOut = false);
    void endRingOut();
    bool isRingingOut() const override { return m_ringing; }

    qint32 Length() const override { return m_file.isEmpty() ? 0 : m_lengths.value(m_file); }
    qint32 Position() const override { return m_file.isEmpty() ? 0 : m_position; }
    QString openFile() const { return m_file; }
    bool isPlaying() const { return m_state == Playing; }
    bool isPaused() const override { return m_state == Paused; }
    std::shared_ptr<const Lyrics> lyrics() const override
    {
        return m_lyrics.value(m_file, SequencerDevice::lyrics());
    }
    // The choices the output was opened anew for, in order.
    void setSound(const SoundChoice &choice) override { sounds.append(choice); }
    QList<SoundChoice> sounds;
    // The live sound settings as last set.
    void setGain(double value) override { gain = value; }
    void setReverb(bool on) override { reverb = on; }
    void setChorus(bool on) override { chorus = on; }
    double gain = SoundChoice::DefaultGain;
    bool reverb = true;
    bool chorus = true;

    // The files "Open" was sent for, each after its prelude, in order.
    QStringList opened() const;

    // "Prelude /r.mid" (before its "Open"), "Open /x.mid", "Play",
    // "Play from 1000", "Play wait", "Pause", "Resume", "Stop", "Close": one
    // entry per command that reached the device.
    QStringList log;

protected:
    void open(const QString &fileName, const QString &prelude) override;
    void play(std::optional<qint32> from, bool wait, bool notify) override;
    void pause(bool notify) override;
    void stop() override;
    void close() override;

private:
    enum State { Idle, Playing, Paused };
    void endPendingPlay(int code);

    QHash<QString, qint32> m_lengths;
    QHash<QString, std::shared_ptr<const Lyrics>> m_lyrics;
    QString m_file; // empty: nothing open
    qint32 m_position = 0;
    State m_state = Idle;
    bool m_notifyPending = false;
    bool m_ringing = false;
};

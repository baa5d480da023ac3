// An ALSA sequencer output port: sends every message straight (unqueued) to
// the client:port the user named, so a hardware or software synthesizer plays
// the song. Built only where ALSA is (SONABEL_HAVE_ALSA) and offered only where
// the sequencer exists (available()).
//
// Threads: as MidiOutput; the sequencer handle belongs to the thread that
// opened it.
#pragma once

#ifdef SONABEL_HAVE_ALSA

#include "engine/MidiOutput.h"

#include <vector>

struct _snd_seq;

class AlsaOutput : public MidiOutput
{
public:
    // destination: "CLIENT:PORT", by number or by name (as aconnect takes it).
    explicit AlsaOutput(std::string destination);
    ~AlsaOutput() override;

    // Whether this machine has an ALSA sequencer to talk to.
    static bool available();

    struct Port
    {
        std::string address; // "CLIENT:PORT" in numbers
        std::string name;    // "client name: port name"
    };
    // The ports that take MIDI now (our own excepted), in address order.
    static std::vector<Port> ports();
    // Whether destination ("CLIENT:PORT", by number or name) names a port that
    // exists now.
    static bool portExists(const std::string &destination);

    std::string name() const override { return "alsa"; }
    bool open() override;
    void close() override;
    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void sendSysEx(std::span<const std::uint8_t> message) override;
    // All Sound Off, then a pause before anything else goes out: a software
    // synthesizer at the other end applies messages as they come but kills
    // voices only at its next audio block, and a release that reached it
    // first would bring them back.
    void cutSound(std::uint16_t channels) override;
    // What plays at the other end cannot be heard from here: a release is
    // given a fixed 2 s to ring out.
    std::int64_t ringOutLimitUs() const override { return 2000000; }
    bool diedAway() override { return false; }

private:
    std::string m_destination;
    _snd_seq *m_seq = nullptr;
    int m_port = -1;
};

#endif

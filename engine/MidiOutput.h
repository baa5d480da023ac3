// The abstract MIDI output every backend implements: the FluidSynth
// synthesizer, an ALSA sequencer port, the silent output and the recording
// output. OutputRegistry creates them by name.
//
// Threads: an output is created on any thread, then open(), the send calls and
// close() come from one thread only (the sequencer's playback thread, or the
// renderer's). status() may be read from any thread; it is guarded by a mutex.
// No backend throws: failures are reported through status().
#pragma once

#include <QtGlobal>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// An instrument a song selects: the bank (controllers 0 and 32) in force on
// its channel when it changes program, and the program.
struct MidiInstrument
{
    std::uint8_t channel = 0;
    std::uint8_t bankMsb = 0;
    std::uint8_t bankLsb = 0;
    std::uint8_t program = 0;

    bool operator==(const MidiInstrument &) const = default;
};

class MidiOutput
{
public:
    virtual ~MidiOutput();

    // The registry name of the backend ("synth", "silent", ...).
    virtual std::string name() const = 0;

    // Prepares the output; called once before anything is sent. May take a
    // while (loading a SoundFont). Returns false when nothing sent will be
    // heard; status() then says why. Sending stays allowed either way.
    virtual bool open() = 0;
    // Releases what open() took. Called once at the end; the destructor also
    // calls it when it has not been called.
    virtual void close() {}

    // A new song is about to play with these instruments: a backend may load
    // them now, so that no program change in the middle of the song has to
    // wait for them. Called on the sending thread; the default does nothing.
    virtual void prepare(std::span<const MidiInstrument> instruments) { (void)instruments; }

    // A channel message: status 0x80-0xEF with its data bytes (data2 unused
    // for program change and channel pressure).
    virtual void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    // A complete SysEx message, F0 ... F7.
    virtual void sendSysEx(std::span<const std::uint8_t> message) = 0;

    // Ends at once every sound on the channels (bit n: channel n), for good:
    // nothing sent afterwards may bring any of it back. The sequencer calls it
    // after it has released every note and pedal it sounded, so what follows
    // is the next song's set-up or its first events. The default sends All
    // Sound Off on each channel. A backend whose All Sound Off a later
    // note-off, All Notes Off, pedal release or Reset All Controllers can
    // undo (some synthesizers apply those before the kill has taken effect)
    // makes the cut final here.
    virtual void cutSound(std::uint16_t channels);

    // After a song's own end has released its notes, they ring out until
    // diedAway() says the sound they left has gone, or for ringOutLimitUs() at
    // most. The sequencer asks diedAway() every few milliseconds while they
    // ring, on the sending thread. The defaults suit an output that makes no
    // sound of its own: nothing rings.
    virtual std::int64_t ringOutLimitUs() const { return 0; }
    virtual bool diedAway() { return true; }

    // The sound's volume (a synthesizer's gain), reverb and chorus, changed
    // while the output plays: from any thread, taking effect at once. Before
    // open() they set what it opens with. Outputs without them ignore them.
    virtual void setGain(double gain) { (void)gain; }
    virtual void setReverb(bool on) { (void)on; }
    virtual void setChorus(bool on) { (void)on; }

    // What the output is doing or why it cannot: a line for the user.
    std::string status() const;
    // What open() found that the user should be told about (no SoundFont, no
    // audio, a port that refuses, a fall-back): whole sentences, each once.
    std::vector<std::string> problems() const;
    // Adds to problems(); also used by whoever put this output in place of
    // another (a fall-back), so that the reason travels with it.
    void reportProblem(std::string problem);

protected:
    void setStatus(std::string status);

private:
    mutable std::mutex m_statusMutex;
    std::string m_status;
    std::vector<std::string> m_problems;
};

// A problem or a status line told to the user, in the user's language: source
// (marked with QT_TRANSLATE_NOOP("Sound", ...)) translated in the "Sound"
// context, its %1, %2, ... filled with args.
std::string soundText(const char *source, std::initializer_list<std::string> args = {});

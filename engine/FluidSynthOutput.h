// The built-in synthesizer: FluidSynth in the process, with a General MIDI
// SoundFont, playing through one of FluidSynth's audio drivers, or through no
// driver at all for offline rendering (renderS16()).
//
// Threads: as MidiOutput. FluidSynth's own API is thread-safe; its audio driver
// renders on a thread of its own. open() and close() run on the thread that
// sends (the sequencer's playback thread); close() stops the audio before the
// synthesizer goes, which completes the WAV file of the "file" output.
//
// While audio plays, messages do not reach FluidSynth from the sending thread:
// they wait in a queue (MessageRing) that the audio thread empties before each
// block of 64 frames it renders, as FluidSynth's own player feeds it. Voices
// are then set up on the thread that renders them, which costs a dense song a
// third less than calls from another core. The audio thread also measures the
// output's level, for diedAway(). FluidSynth's audio drivers call us back
// (new_fluid_audio_driver2); its "file" driver takes no callback, so "file" is
// our own RealtimeWavWriter, which writes the same 16-bit WAV in real time.
// On its way out the audio passes a PeakLimiter, so no volume clips. A driver
// that takes no callback renders the synthesizer itself (unlimited), and
// messages then go to FluidSynth directly.
//
// When no audio driver can be opened the output still takes every message, says
// so once per process on stderr and lists it in problems(); songs play on in
// silence. The same goes for a SoundFont that is missing or cannot be loaded.
#pragma once

#include "engine/MessageRing.h"
#include "engine/MidiOutput.h"
#include "engine/PeakLimiter.h"
#include "engine/RealtimeWavWriter.h"

#include <atomic>
#include <cstdint>
#include <fluidsynth.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct FluidSynthOptions
{
    // A SoundFont file; empty: findSoundFont().
    std::string soundFont;
    // A FluidSynth audio driver name ("pulseaudio", "alsa", "file", ...);
    // empty: the usual ones in turn; "none": no driver (offline rendering).
    std::string audioDriver;
    // The WAV file the "file" driver writes (FluidSynth's default when empty).
    std::string audioFile;
    // Sample rate in Hz; 0: FluidSynth's default.
    double sampleRate = 0;
    // The synthesizer's volume (FluidSynth's synth.gain); below 0: its default.
    double gain = -1;
    bool reverb = true;
    bool chorus = true;
    // A soundFont that is gone: true plays the default one instead (and says
    // so in problems()); false fails to load it, as a tool wants.
    bool fallBackWhenGone = false;
};

class FluidSynthOutput : public MidiOutput
{
public:
    explicit FluidSynthOutput(FluidSynthOptions options = {});
    ~FluidSynthOutput() override;

    // $SONABEL_SOUNDFONT when set, else SoundFonts::findDefault(); empty when
    // there is none. A chosen SoundFont that is gone falls back to this one.
    static std::string findSoundFont();

    std::string name() const override { return "synth"; }
    bool open() override;
    void close() override;
    // Keeps every instrument of the song loaded until the next song, on hidden
    // channels past the sixteen MIDI ones, when samples load on demand: a
    // program change would otherwise read samples from disk mid-song, and
    // again each time the song comes back to an instrument.
    void prepare(std::span<const MidiInstrument> instruments) override;
    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void sendSysEx(std::span<const std::uint8_t> message) override;
    // Kills every voice on every channel, waits until the audio driver has
    // rendered the kill (FluidSynth applies a kill at its next block, and a
    // note-off, All Notes Off or pedal release that arrives before it brings
    // the voice back into its release), then resets the synthesizer, which
    // also empties the reverb and chorus. The channels are at their power-on
    // state afterwards: the sequencer's chase sets up what plays next. Without
    // an audio driver the caller renders, and the reset waits for a cut with
    // no voice left.
    void cutSound(std::uint16_t channels) override;
    // A release rings out for at most 5 s; it has died away once the output
    // has stayed below -60 dBFS for 100 ms, or for 10 ms with no voice left.
    // With no level to go by (no audio, or a driver that takes no callback):
    // once no voice is left.
    std::int64_t ringOutLimitUs() const override { return 5000000; }
    bool diedAway() override;
    // FluidSynth's own calls for these are safe from any thread.
    void setGain(double gain) override;
    void setReverb(bool on) override;
    void setChorus(bool on) override;

    // Offline use (audioDriver "none"): renders frames of interleaved stereo.
    bool renderS16(std::int16_t *interleaved, int frames);
    bool renderFloat(float *interleaved, int frames);
    int activeVoices() const;
    double sampleRate() const;
    // The chorus oscillator's rate in Hz; 0 when the chorus is off.
    double chorusSpeed() const;
    // Whether the SoundFont loaded (what open() found out).
    bool hasSoundFont() const { return m_soundFontId >= 0; }
    // Whether its samples load on demand, instrument by instrument, rather
    // than whole (SampleLoading.h).
    bool loadsOnDemand() const { return m_onDemand; }

private:
    bool openDriver();
    bool startAudio(const std::string &driver, std::string *why);
    // On the audio thread: renders the driver's buffers (planar stereo) block
    // by block, then limits and measures them.
    static int audioCallback(void *data, int len, int nfx, float *fx[], int nout, float *out[]);
    void renderBlock(int frames, float *out[2]);
    // On the audio thread: the queued messages to the synthesizer, and the
    // level of a block just rendered.
    void takeMessages();
    void measure(float peak, int frames);
    // A message to the synthesizer: through the queue while audio plays,
    // else (or when it cannot be queued) at once.
    void deliver(std::span<const std::uint8_t> message);
    bool queue(std::span<const std::uint8_t> message);
    void apply(std::span<const std::uint8_t> message);
    // Until the audio thread has taken every queued message (at most 200 ms,
    // then what is left is dropped: false).
    bool waitForAudio();
    // The SoundFont to load: the chosen one, or the default when none was
    // chosen or (fallBackWhenGone) the chosen file is gone.
    std::string pickSoundFont();
    // Power-on state with the prepared instruments still held.
    void reset();

    // FluidSynth's objects, each freed by its own delete function.
    struct Free
    {
        void operator()(fluid_settings_t *p) const { delete_fluid_settings(p); }
        void operator()(fluid_synth_t *p) const { delete_fluid_synth(p); }
        void operator()(fluid_audio_driver_t *p) const { delete_fluid_audio_driver(p); }
    };

    FluidSynthOptions m_options;
    // Guards the gain, reverb and chorus of m_options, and m_live, between
    // the live setters (any thread) and open() and close().
    std::mutex m_liveMutex;
    fluid_synth_t *m_live = nullptr; // the synthesizer while it is open
    // In this order: the driver renders from the synthesizer, which reads the
    // settings, so they go in reverse.
    std::unique_ptr<fluid_settings_t, Free> m_settings;
    std::unique_ptr<fluid_synth_t, Free> m_synth;
    std::unique_ptr<fluid_audio_driver_t, Free> m_driver;
    std::unique_ptr<RealtimeWavWriter> m_writer; // the "file" output
    std::unique_ptr<PeakLimiter> m_limiter;      // on the audio thread
    std::unique_ptr<MessageRing> m_ring;
    bool m_queued = false; // an audio thread takes the messages from m_ring
    // The audio thread's count of frames rendered, and where the last block
    // at -60 dBFS or above ended.
    std::atomic<std::int64_t> m_rendered{0};
    std::atomic<std::int64_t> m_loudUntil{0};
    int m_soundFontId = -1;
    bool m_onDemand = false;
    std::string m_driverName;           // the audio driver that opened
    std::vector<MidiInstrument> m_held; // what prepare() was last given
};

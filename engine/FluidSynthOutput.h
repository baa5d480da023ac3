// The built-in synthesizer: FluidSynth in the process, with a General MIDI
// SoundFont, playing through one of FluidSynth's audio drivers, or through no
// driver at all for offline rendering (renderS16()).
//
// Threads: as MidiOutput. FluidSynth's own API is thread-safe; its audio driver
// renders on a thread of its own. open() and close() run on the thread that
// sends (the sequencer's playback thread); close() deletes the audio driver
// before the synthesizer, so the `file` driver finalises its WAV header.
//
// When no audio driver can be opened the output still takes every message, says
// so once per process on stderr and lists it in problems(); songs play on in
// silence. The same goes for a SoundFont that is missing or cannot be loaded.
#pragma once

#include "engine/MidiOutput.h"

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
    // channels past the sixteen MIDI ones: with dynamic sample loading a
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

private:
    bool openDriver();
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
    int m_soundFontId = -1;
    std::string m_driverName;           // the audio driver that opened
    std::vector<MidiInstrument> m_held; // what prepare() was last given
};

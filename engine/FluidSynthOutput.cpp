// The built-in FluidSynth synthesizer; see FluidSynthOutput.h.
#include "engine/FluidSynthOutput.h"

#include "engine/RegularFile.h"
#include "engine/SoundFonts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fluidsynth.h>
#include <mutex>
#include <thread>
#include <vector>
#ifdef SONABEL_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace {

// MIDI channels 0-15 play; the rest only hold instruments loaded (prepare()),
// one each: enough for every melodic program of the General MIDI set, so even
// a song that calls on all of them loads none while it plays.
constexpr int PlayingChannels = 16;
constexpr int HoldingChannels = 128;

// FluidSynth's log goes here instead of stderr: a failed attempt at one audio
// driver is no news when the next one works. The last error is kept so our
// own message can say what went wrong.
std::mutex logMutex;
std::string lastFluidError;

void logToMemory(int level, const char *message, void *)
{
    if (level > FLUID_WARN || !message)
        return;
    std::lock_guard lock(logMutex);
    lastFluidError = message;
}

void quietFluidSynth()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, logToMemory, nullptr);
    });
}

std::string takeFluidError()
{
    std::lock_guard lock(logMutex);
    std::string e = std::move(lastFluidError);
    lastFluidError.clear();
    return e;
}

// Each complaint once per process: a player that opens a device per song must
// not repeat it for every song.
void sayOnce(std::atomic<bool> &said, const std::string &line)
{
    if (!said.exchange(true))
        std::fprintf(stderr, "sonabel: %s\n", line.c_str());
}

std::atomic<bool> saidNoAudio{false};
std::atomic<bool> saidNoSoundFont{false};

} // namespace

FluidSynthOutput::FluidSynthOutput(FluidSynthOptions options) : m_options(std::move(options))
{
    setStatus("FluidSynth: not started yet");
}

FluidSynthOutput::~FluidSynthOutput()
{
    close();
}

std::string FluidSynthOutput::findSoundFont()
{
    if (const char *env = std::getenv("SONABEL_SOUNDFONT"); env && *env)
        return env;
    return SoundFonts::findDefault();
}

std::string FluidSynthOutput::pickSoundFont()
{
    const std::string &chosen = m_options.soundFont;
    std::error_code ec;
    if (chosen.empty())
        return findSoundFont();
    if (!m_options.fallBackWhenGone || std::filesystem::exists(chosen, ec))
        return chosen;
    const std::string fallback = SoundFonts::findDefault();
    if (!fallback.empty())
        reportProblem("The SoundFont " + chosen + " is gone; playing with " + fallback +
                      " instead.");
    return fallback;
}

bool FluidSynthOutput::open()
{
    quietFluidSynth();
    m_settings.reset(new_fluid_settings());
    if (!m_settings) {
        setStatus("FluidSynth: cannot create its settings");
        return false;
    }
    // Only the samples of the instruments in use are loaded: a 140 MB SoundFont
    // then costs a few MB.
    fluid_settings_setint(m_settings.get(), "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(m_settings.get(), "synth.midi-channels",
                          PlayingChannels + HoldingChannels);
    if (m_options.sampleRate > 0)
        fluid_settings_setnum(m_settings.get(), "synth.sample-rate", m_options.sampleRate);
    {
        std::lock_guard lock(m_liveMutex);
        if (m_options.gain >= 0)
            fluid_settings_setnum(m_settings.get(), "synth.gain", m_options.gain);
        fluid_settings_setint(m_settings.get(), "synth.reverb.active", m_options.reverb ? 1 : 0);
        fluid_settings_setint(m_settings.get(), "synth.chorus.active", m_options.chorus ? 1 : 0);
        m_synth.reset(new_fluid_synth(m_settings.get()));
        m_live = m_synth.get();
    }
    if (!m_synth) {
        setStatus("FluidSynth: cannot create the synthesizer: " + takeFluidError());
        return false;
    }

    const std::string soundFont = pickSoundFont();
    std::string problem;
    if (soundFont.empty()) {
        problem = "no SoundFont found";
        reportProblem("No SoundFont was found, so songs play in silence. Install the Debian "
                      "package fluid-soundfont-gm, or choose a SoundFont file in \"Sound ...\".");
    } else {
        // FluidSynth opens it by name and reads it: a FIFO would hang it.
        std::string notAFile;
        m_soundFontId = isRegularFile(soundFont.c_str(), &notAFile)
                            ? fluid_synth_sfload(m_synth.get(), soundFont.c_str(), 1)
                            : -1;
        if (m_soundFontId < 0) {
            problem = "cannot load the SoundFont " + soundFont + ": " +
                      (notAFile.empty() ? takeFluidError() : notAFile);
            reportProblem("The SoundFont " + soundFont +
                          " cannot be loaded, so songs play in silence. Choose another one in "
                          "\"Sound ...\".");
        }
    }
    if (!problem.empty())
        sayOnce(saidNoSoundFont, problem + "; songs play on in silence");

    const bool audio = openDriver();
    const std::string name = std::filesystem::path(soundFont).filename().string();
    if (!problem.empty())
        setStatus("FluidSynth synthesizer: " + problem + " (silent)");
    else if (!audio)
        setStatus("FluidSynth synthesizer with " + name + ", but no audio output (silent)");
    else if (m_driverName.empty())
        setStatus("FluidSynth synthesizer with " + name);
    else
        setStatus("FluidSynth synthesizer with " + name + " through " + m_driverName);
    return audio && problem.empty();
}

namespace {

#ifdef SONABEL_HAVE_ALSA
// The ALSA library prints every step of a failed device lookup on stderr; the
// reason that matters reaches the user in one line through FluidSynth instead.
extern "C" void quietAlsaError(const char *, int, const char *, int, const char *, ...)
{}
#endif

} // namespace

bool FluidSynthOutput::openDriver()
{
#ifdef SONABEL_HAVE_ALSA
    snd_lib_error_set_handler(quietAlsaError);
#endif
    if (m_options.audioDriver == "none")
        return true;
    std::vector<std::string> drivers;
    if (!m_options.audioDriver.empty())
        drivers.push_back(m_options.audioDriver);
    else
        drivers = {"pulseaudio", "alsa"}; // PipeWire serves the first one too
    if (!m_options.audioFile.empty())
        fluid_settings_setstr(m_settings.get(), "audio.file.name", m_options.audioFile.c_str());
    // The sound server lists the stream under the player's name and icon, as
    // music. FluidSynth names its PulseAudio client itself, so only the
    // server's override variable wins over it; a user's own choice stays.
    fluid_settings_setstr(m_settings.get(), "audio.pulseaudio.media-role", "music");
    fluid_settings_setstr(m_settings.get(), "audio.jack.id", "Sonabel");
    std::string reasons;
    for (const std::string &d : drivers) {
        // The file driver writes without limit, by default into the current
        // folder, and a FIFO there would hang its open: it takes a named
        // regular file only.
        std::string refused;
        if (d == "file" && m_options.audioFile.empty())
            refused = "no file named (SONABEL_AUDIO_FILE)";
        else if (d == "file" && !mayWriteRegularFile(m_options.audioFile.c_str(), &refused))
            refused = m_options.audioFile + ": " + refused;
        if (!refused.empty()) {
            reasons += (reasons.empty() ? "" : "; ") + d + ": " + refused;
            continue;
        }
        if (fluid_settings_setstr(m_settings.get(), "audio.driver", d.c_str()) != FLUID_OK) {
            reasons += (reasons.empty() ? "" : "; ") + d + ": not built into FluidSynth";
            continue;
        }
        if (d == "pulseaudio") {
            // As FluidSynth sets the role: on this thread, just before the client connects.
            ::setenv("PULSE_PROP_OVERRIDE_application.name", "Sonabel", 0);
            ::setenv("PULSE_PROP_application.icon_name", "sonabel", 0);
        }
        m_driver.reset(new_fluid_audio_driver(m_settings.get(), m_synth.get()));
        if (m_driver) {
            m_driverName = d;
            return true;
        }
        const std::string why = takeFluidError();
        reasons += (reasons.empty() ? "" : "; ") + d + (why.empty() ? "" : ": " + why);
    }
    sayOnce(saidNoAudio,
            "no audio output could be opened (" + reasons + "); songs play on in silence");
    reportProblem("No audio output could be opened (" + reasons +
                  "), so songs play in silence. Choose another audio driver in \"Sound ...\".");
    return false;
}

void FluidSynthOutput::close()
{
    {
        std::lock_guard lock(m_liveMutex);
        m_live = nullptr;
    }
    // The driver first: it renders from the synth, and the file driver writes
    // its WAV header when deleted.
    m_driver.reset();
    m_synth.reset();
    m_settings.reset();
}

void FluidSynthOutput::setGain(double gain)
{
    std::lock_guard lock(m_liveMutex);
    m_options.gain = gain;
    if (m_live)
        fluid_synth_set_gain(m_live, static_cast<float>(gain));
}

void FluidSynthOutput::setReverb(bool on)
{
    std::lock_guard lock(m_liveMutex);
    m_options.reverb = on;
    if (m_live)
        fluid_synth_reverb_on(m_live, -1, on ? 1 : 0);
}

void FluidSynthOutput::setChorus(bool on)
{
    std::lock_guard lock(m_liveMutex);
    m_options.chorus = on;
    if (m_live)
        fluid_synth_chorus_on(m_live, -1, on ? 1 : 0);
}

void FluidSynthOutput::prepare(std::span<const MidiInstrument> instruments)
{
    if (!m_synth || m_soundFontId < 0)
        return;
    if (instruments.data() != m_held.data())
        m_held.assign(instruments.begin(), instruments.end());
    fluid_sfont_t *sfont = fluid_synth_get_sfont_by_id(m_synth.get(), m_soundFontId);
    int holder = PlayingChannels;
    std::vector<std::pair<int, int>> held; // (bank, program), one holder each
    for (const MidiInstrument &i : instruments) {
        if (holder == PlayingChannels + HoldingChannels)
            break;
        // As the synthesizer picks it: the percussion bank on channel 10, else
        // the bank by its MSB, falling back to the General MIDI bank.
        int bank = i.channel == 9 ? 128 : i.bankMsb;
        if (!fluid_sfont_get_preset(sfont, bank, i.program))
            bank = i.channel == 9 ? 128 : 0;
        const std::pair<int, int> preset(bank, i.program);
        if (std::find(held.begin(), held.end(), preset) != held.end())
            continue; // the same instrument on another channel
        if (fluid_synth_program_select(m_synth.get(), holder, m_soundFontId, bank, i.program) ==
            FLUID_OK) {
            held.push_back(preset);
            ++holder;
        }
    }
    // Let go of what the previous song held.
    for (; holder < PlayingChannels + HoldingChannels; ++holder)
        fluid_synth_unset_program(m_synth.get(), holder);
}

void FluidSynthOutput::send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    if (!m_synth)
        return;
    const int ch = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(m_synth.get(), ch, data1);
        break;
    case 0x90:
        if (data2 == 0)
            fluid_synth_noteoff(m_synth.get(), ch, data1);
        else
            fluid_synth_noteon(m_synth.get(), ch, data1, data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(m_synth.get(), ch, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(m_synth.get(), ch, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(m_synth.get(), ch, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(m_synth.get(), ch, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(m_synth.get(), ch, data1 | (data2 << 7));
        break;
    default:
        break;
    }
}

void FluidSynthOutput::sendSysEx(std::span<const std::uint8_t> message)
{
    if (!m_synth || message.size() < 2 || message.front() != 0xF0 || message.back() != 0xF7)
        return;
    // FluidSynth wants the bytes between F0 and F7.
    fluid_synth_sysex(m_synth.get(), reinterpret_cast<const char *>(message.data() + 1),
                      int(message.size() - 2), nullptr, nullptr, nullptr, 0);
}

void FluidSynthOutput::cutSound(std::uint16_t)
{
    if (!m_synth)
        return;
    fluid_synth_t *synth = m_synth.get();
    fluid_synth_all_sounds_off(synth, -1);
    if (m_driver) {
        // The driver renders a block of 64 frames at a time, so this takes a
        // millisecond or two; the bound only matters when the audio stalls.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (fluid_synth_get_active_voice_count(synth) > 0 &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // A reset with voices still killed but not rendered would bring them back.
    if (fluid_synth_get_active_voice_count(synth) == 0)
        reset();
}

void FluidSynthOutput::reset()
{
    fluid_synth_system_reset(m_synth.get());
    // The reset let go of the instruments held for the song: take them again
    // (from memory, unless FluidSynth has dropped them meanwhile).
    prepare(m_held);
}

bool FluidSynthOutput::renderS16(std::int16_t *interleaved, int frames)
{
    if (!m_synth)
        return false;
    return fluid_synth_write_s16(m_synth.get(), frames, interleaved, 0, 2, interleaved, 1, 2) ==
           FLUID_OK;
}

bool FluidSynthOutput::renderFloat(float *interleaved, int frames)
{
    if (!m_synth)
        return false;
    return fluid_synth_write_float(m_synth.get(), frames, interleaved, 0, 2, interleaved, 1, 2) ==
           FLUID_OK;
}

int FluidSynthOutput::activeVoices() const
{
    return m_synth ? fluid_synth_get_active_voice_count(m_synth.get()) : 0;
}

double FluidSynthOutput::chorusSpeed() const
{
    int active = 0;
    double speed = 0;
    if (!m_settings ||
        fluid_settings_getint(m_settings.get(), "synth.chorus.active", &active) != FLUID_OK ||
        !active || fluid_synth_get_chorus_group_speed(m_synth.get(), -1, &speed) != FLUID_OK)
        return 0;
    return speed;
}

double FluidSynthOutput::sampleRate() const
{
    double rate = 44100.0;
    if (m_settings)
        fluid_settings_getnum(m_settings.get(), "synth.sample-rate", &rate);
    return rate;
}

// The built-in FluidSynth synthesizer; see FluidSynthOutput.h.
#include "engine/FluidSynthOutput.h"

#include "engine/MidiFile.h"
#include "engine/PeakLimiter.h"
#include "engine/RealtimeWavWriter.h"
#include "engine/RegularFile.h"
#include "engine/SampleLoading.h"
#include "engine/SoundFonts.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
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

// -60 dBFS: below it a song's last notes count as died away.
constexpr float QuietLevel = 0.001f;

std::int16_t toS16(float sample)
{
    return std::int16_t(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f));
}

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
    setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "FluidSynth: not started yet")));
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
        reportProblem(soundText(
            QT_TRANSLATE_NOOP("Sound", "The SoundFont %1 is gone; playing with %2 instead."),
            {chosen, fallback}));
    return fallback;
}

bool FluidSynthOutput::open()
{
    quietFluidSynth();
    m_settings.reset(new_fluid_settings());
    if (!m_settings) {
        setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "FluidSynth: cannot create its settings")));
        return false;
    }
    // A SoundFont loads only the instruments in use, through a view that gives
    // every sample its silent end (SampleLoading.h), unless it cannot be read so.
    const std::string soundFont = pickSoundFont();
    m_onDemand = !soundFont.empty() && SampleLoading::onDemand(soundFont);
    fluid_settings_setint(m_settings.get(), "synth.dynamic-sample-loading", m_onDemand ? 1 : 0);
    fluid_settings_setint(m_settings.get(), "synth.midi-channels",
                          PlayingChannels + (m_onDemand ? HoldingChannels : 0));
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
    if (m_synth && m_onDemand)
        SampleLoading::addPaddedLoader(m_synth.get(), m_settings.get());
    if (!m_synth) {
        setStatus(
            soundText(QT_TRANSLATE_NOOP("Sound", "FluidSynth: cannot create the synthesizer: %1"),
                      {takeFluidError()}));
        return false;
    }

    std::string problem;
    if (soundFont.empty()) {
        problem = "no SoundFont found";
        reportProblem(soundText(QT_TRANSLATE_NOOP(
            "Sound", "No SoundFont was found, so songs play in silence. Install the Debian "
                     "package fluid-soundfont-gm, or choose a SoundFont file in \"Sound ...\".")));
    } else {
        // FluidSynth opens it by name and reads it: a FIFO would hang it.
        std::string notAFile;
        m_soundFontId = isRegularFile(soundFont.c_str(), &notAFile)
                            ? fluid_synth_sfload(m_synth.get(), soundFont.c_str(), 1)
                            : -1;
        if (m_soundFontId < 0) {
            problem = "cannot load the SoundFont " + soundFont + ": " +
                      (notAFile.empty() ? takeFluidError() : notAFile);
            reportProblem(soundText(
                QT_TRANSLATE_NOOP("Sound", "The SoundFont %1 cannot be loaded, so songs play in "
                                           "silence. Choose another one in \"Sound ...\"."),
                {soundFont}));
        }
    }
    if (!problem.empty())
        sayOnce(saidNoSoundFont, problem + "; songs play on in silence");

    const bool audio = openDriver();
    const std::string name = std::filesystem::path(soundFont).filename().string();
    if (!problem.empty())
        setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "FluidSynth synthesizer: %1 (silent)"),
                            {problem}));
    else if (!audio)
        setStatus(
            soundText(QT_TRANSLATE_NOOP(
                          "Sound", "FluidSynth synthesizer with %1, but no audio output (silent)"),
                      {name}));
    else if (m_driverName.empty())
        setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "FluidSynth synthesizer with %1"), {name}));
    else
        setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "FluidSynth synthesizer with %1 through %2"),
                            {name, m_driverName}));
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
        std::string why;
        if (startAudio(d, &why)) {
            m_driverName = d;
            return true;
        }
        reasons += (reasons.empty() ? "" : "; ") + d + (why.empty() ? "" : ": " + why);
    }
    sayOnce(saidNoAudio,
            "no audio output could be opened (" + reasons + "); songs play on in silence");
    reportProblem(soundText(
        QT_TRANSLATE_NOOP("Sound", "No audio output could be opened (%1), so songs play in "
                                   "silence. Choose another audio driver in \"Sound ...\"."),
        {reasons}));
    return false;
}

bool FluidSynthOutput::startAudio(const std::string &driver, std::string *why)
{
    m_limiter = std::make_unique<PeakLimiter>(sampleRate());
    m_ring = std::make_unique<MessageRing>();
    if (driver == "file") {
        std::array<char, 4096> name{};
        fluid_settings_copystr(m_settings.get(), "audio.file.name", name.data(), int(name.size()));
        m_writer = std::make_unique<RealtimeWavWriter>(
            name.data(), int(sampleRate()), [this](std::int16_t *interleaved, int frames) {
                std::array<float, RealtimeWavWriter::Block> left{}, right{};
                std::array<float *, 2> out{left.data(), right.data()};
                frames = std::min(frames, RealtimeWavWriter::Block);
                renderBlock(frames, out.data());
                for (int i = 0; i < frames; ++i) {
                    interleaved[2 * i] = toS16(left[std::size_t(i)]);
                    interleaved[2 * i + 1] = toS16(right[std::size_t(i)]);
                }
            });
        if (m_writer->start(why)) {
            m_queued = true;
            return true;
        }
        m_writer.reset();
        return false;
    }
    if (fluid_settings_setstr(m_settings.get(), "audio.driver", driver.c_str()) != FLUID_OK) {
        *why = "not built into FluidSynth";
        return false;
    }
    if (driver == "pulseaudio") {
        // As FluidSynth sets the role: on this thread, just before the client connects.
        ::setenv("PULSE_PROP_OVERRIDE_application.name", "Sonabel", 0);
        ::setenv("PULSE_PROP_application.icon_name", "sonabel", 0);
    }
    // Through a callback of ours, which hands the synthesizer its messages on
    // the audio thread and measures the level; a driver that takes no callback
    // renders the synthesizer itself, and the messages go to it directly.
    m_driver.reset(
        new_fluid_audio_driver2(m_settings.get(), &FluidSynthOutput::audioCallback, this));
    if (m_driver) {
        m_queued = true;
        return true;
    }
    takeFluidError();
    m_driver.reset(new_fluid_audio_driver(m_settings.get(), m_synth.get()));
    *why = m_driver ? std::string() : takeFluidError();
    return bool(m_driver);
}

int FluidSynthOutput::audioCallback(void *data, int len, int, float *[], int nout, float *out[])
{
    if (nout >= 2 && len > 0)
        static_cast<FluidSynthOutput *>(data)->renderBlock(len, out);
    return FLUID_OK;
}

void FluidSynthOutput::renderBlock(int frames, float *out[2])
{
    // Reverb and chorus mixed into the two outputs, a block at a time with the
    // messages that came meanwhile, as FluidSynth's own player does.
    std::fill_n(out[0], frames, 0.0f);
    std::fill_n(out[1], frames, 0.0f);
    for (int done = 0; done < frames;) {
        const int block = std::min(frames - done, RealtimeWavWriter::Block);
        takeMessages();
        std::array<float *, 2> buffers{out[0] + done, out[1] + done};
        fluid_synth_process(m_synth.get(), block, 2, buffers.data(), 2, buffers.data());
        done += block;
    }
    m_limiter->process(out[0], out[1], frames);
    float peak = 0;
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < frames; ++i)
            peak = std::max(peak, std::fabs(out[c][i]));
    }
    measure(peak, frames);
}

void FluidSynthOutput::takeMessages()
{
    m_ring->drain([this](std::span<const std::uint8_t> message) { apply(message); });
}

void FluidSynthOutput::measure(float peak, int frames)
{
    const std::int64_t rendered = m_rendered.load(std::memory_order_relaxed) + frames;
    if (peak >= QuietLevel)
        m_loudUntil.store(rendered, std::memory_order_relaxed);
    m_rendered.store(rendered, std::memory_order_release);
}

bool FluidSynthOutput::diedAway()
{
    const int voices = activeVoices();
    if (!m_queued)
        return voices == 0; // no level to go by
    const std::int64_t quiet =
        m_rendered.load(std::memory_order_acquire) - m_loudUntil.load(std::memory_order_relaxed);
    const double rate = sampleRate();
    return quiet >= std::int64_t(rate / 10) || (voices == 0 && quiet >= std::int64_t(rate / 100));
}

void FluidSynthOutput::close()
{
    {
        std::lock_guard lock(m_liveMutex);
        m_live = nullptr;
    }
    // The audio first: it renders from the synth, and the file is complete
    // once its writer is gone.
    m_writer.reset();
    m_driver.reset();
    m_queued = false;
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
    if (!m_synth || m_soundFontId < 0 || !m_onDemand)
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
    const std::array<std::uint8_t, 3> message{status, data1, data2};
    deliver(std::span(message.data(), midi::channelDataLength(status) + 1u));
}

void FluidSynthOutput::sendSysEx(std::span<const std::uint8_t> message)
{
    if (message.size() < 2 || message.front() != 0xF0 || message.back() != 0xF7)
        return;
    deliver(message);
}

void FluidSynthOutput::deliver(std::span<const std::uint8_t> message)
{
    if (!m_synth)
        return;
    if (m_queued && queue(message))
        return;
    apply(message);
}

bool FluidSynthOutput::queue(std::span<const std::uint8_t> message)
{
    // Room comes as the audio thread takes messages, every block.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!m_ring->push(message)) {
        if (message.size() > MessageRing::MaxMessage || std::chrono::steady_clock::now() > giveUp) {
            waitForAudio();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void FluidSynthOutput::apply(std::span<const std::uint8_t> message)
{
    fluid_synth_t *synth = m_synth.get();
    const std::uint8_t status = message[0];
    if (status == 0xF0) {
        // FluidSynth wants the bytes between F0 and F7.
        fluid_synth_sysex(synth, reinterpret_cast<const char *>(message.data() + 1),
                          int(message.size() - 2), nullptr, nullptr, nullptr, 0);
        return;
    }
    const int ch = status & 0x0F;
    const int data1 = message.size() > 1 ? message[1] : 0;
    const int data2 = message.size() > 2 ? message[2] : 0;
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth, ch, data1);
        break;
    case 0x90:
        if (data2 == 0)
            fluid_synth_noteoff(synth, ch, data1);
        else
            fluid_synth_noteon(synth, ch, data1, data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth, ch, data1, data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth, ch, data1, data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth, ch, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth, ch, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth, ch, data1 | (data2 << 7));
        break;
    default:
        break;
    }
}

bool FluidSynthOutput::waitForAudio()
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (!m_ring->empty()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            m_ring->skipPending();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

void FluidSynthOutput::cutSound(std::uint16_t)
{
    if (!m_synth)
        return;
    fluid_synth_t *synth = m_synth.get();
    // What was sent before the cut (the releases) reaches the synthesizer first.
    if (m_queued)
        waitForAudio();
    fluid_synth_all_sounds_off(synth, -1);
    if (m_driver || m_writer) {
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

// The output registry: every backend by name; see OutputRegistry.h.
#include "engine/OutputRegistry.h"

#include "engine/RecordingOutput.h"
#include "engine/SilentOutput.h"
#ifdef SONABEL_HAVE_ALSA
#include "engine/AlsaOutput.h"
#endif

namespace {

bool alsaOffered()
{
#ifdef SONABEL_HAVE_ALSA
    return AlsaOutput::available();
#else
    return false;
#endif
}

} // namespace

std::vector<OutputRegistry::Entry> OutputRegistry::entries()
{
    std::vector<Entry> list = {
        {"synth", "the built-in FluidSynth synthesizer", true},
        {"alsa", "an ALSA sequencer port, as alsa:CLIENT:PORT", alsaOffered()},
        {"silent", "plays nothing", true},
        {"recording", "keeps every message in memory (for tests)", true},
    };
#ifndef SONABEL_HAVE_ALSA
    list[1].description = "an ALSA sequencer port (not built in)";
#endif
    return list;
}

std::string OutputRegistry::offeredNames()
{
    std::string names;
    for (const Entry &e : entries()) {
        if (e.offered)
            names += (names.empty() ? "" : ", ") + e.name;
    }
    return names;
}

std::unique_ptr<MidiOutput>
OutputRegistry::create(const std::string &spec, const OutputSettings &settings, std::string &error)
{
    const std::size_t colon = spec.find(':');
    const std::string name = spec.substr(0, colon);
    const std::string argument =
        colon == std::string::npos ? std::string() : spec.substr(colon + 1);
    error.clear();
    if (name == "synth")
        return std::make_unique<FluidSynthOutput>(settings.synth);
    if (name == "silent")
        return std::make_unique<SilentOutput>();
    if (name == "recording")
        return std::make_unique<RecordingOutput>();
    if (name == "alsa") {
#ifdef SONABEL_HAVE_ALSA
        if (!AlsaOutput::available()) {
            error = "the ALSA sequencer is not available on this machine; outputs offered: " +
                    offeredNames();
            return nullptr;
        }
        if (argument.empty()) {
            error = "the ALSA output needs a port: alsa:CLIENT:PORT";
            return nullptr;
        }
        return std::make_unique<AlsaOutput>(argument);
#else
        error = "this build has no ALSA output; outputs offered: " + offeredNames();
        return nullptr;
#endif
    }
    error = "unknown output \"" + spec + "\"; outputs offered: " + offeredNames();
    return nullptr;
}

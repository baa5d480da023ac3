// Builds the real sequencer device from the environment; see DeviceFactory.h.
#include "engine/DeviceFactory.h"

#include "engine/Clock.h"
#include "engine/MidiSequencer.h"
#include "engine/OutputRegistry.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::unique_ptr<SequencerDevice> makeSequencerDevice(QObject *parent)
{
    OutputSettings settings;
    settings.synth.soundFont = env("SONABEL_SOUNDFONT");
    settings.synth.audioDriver = env("SONABEL_AUDIO_DRIVER");
    settings.synth.audioFile = env("SONABEL_AUDIO_FILE");
    if (settings.synth.audioDriver == "none")
        settings.synth.audioDriver.clear(); // "none" is for offline rendering only

    std::string spec = env("SONABEL_OUTPUT");
    if (spec.empty())
        spec = OutputRegistry::DefaultName;
    std::string error;
    std::unique_ptr<MidiOutput> output = OutputRegistry::create(spec, settings, error);
    if (!output) {
        std::fprintf(stderr, "sonabel: SONABEL_OUTPUT: %s; using %s\n", error.c_str(),
                     OutputRegistry::DefaultName);
        output = OutputRegistry::create(OutputRegistry::DefaultName, settings, error);
    }
    return std::make_unique<MidiSequencer>(std::shared_ptr<MidiOutput>(std::move(output)),
                                           std::make_shared<SteadyClock>(), parent);
}

// Builds the real sequencer device from a choice and the environment; see
// DeviceFactory.h.
#include "engine/DeviceFactory.h"

#include "engine/Clock.h"
#include "engine/MidiSequencer.h"
#include "engine/OutputRegistry.h"
#ifdef SONABEL_HAVE_ALSA
#include "engine/AlsaOutput.h"
#endif

#include <cstdio>

namespace {

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

bool portGone(const std::string &spec)
{
    if (spec.rfind("alsa:", 0) != 0)
        return false;
#ifdef SONABEL_HAVE_ALSA
    return !AlsaOutput::portExists(spec.substr(5));
#else
    return true;
#endif
}

} // namespace

SoundChoice environmentSoundChoice()
{
    SoundChoice overrides;
    overrides.output = env("SONABEL_OUTPUT");
    overrides.soundFont = env("SONABEL_SOUNDFONT");
    overrides.audioDriver = env("SONABEL_AUDIO_DRIVER");
    return overrides;
}

SoundChoice soundChoiceInForce(const SoundChoice &chosen)
{
    const SoundChoice overrides = environmentSoundChoice();
    SoundChoice choice = chosen;
    if (!overrides.output.isEmpty())
        choice.output = overrides.output;
    if (!overrides.soundFont.isEmpty())
        choice.soundFont = overrides.soundFont;
    if (!overrides.audioDriver.isEmpty())
        choice.audioDriver = overrides.audioDriver;
    return choice;
}

std::unique_ptr<MidiOutput> makeOutput(const SoundChoice &chosen)
{
    const SoundChoice choice = soundChoiceInForce(chosen);
    OutputSettings settings;
    settings.synth.soundFont = choice.soundFont.toStdString();
    settings.synth.audioDriver = choice.audioDriver.toStdString();
    settings.synth.audioFile = env("SONABEL_AUDIO_FILE").toStdString();
    settings.synth.gain = choice.gain;
    settings.synth.reverb = choice.reverb;
    settings.synth.chorus = choice.chorus;
    settings.synth.fallBackWhenGone = true;
    if (settings.synth.audioDriver == "none")
        settings.synth.audioDriver.clear(); // "none" is for offline rendering only

    const std::string spec = choice.output.isEmpty() ? std::string(OutputRegistry::DefaultName)
                                                     : choice.output.toStdString();
    std::string error;
    std::unique_ptr<MidiOutput> output;
    if (portGone(spec)) {
        output = OutputRegistry::create(OutputRegistry::DefaultName, settings, error);
        output->reportProblem(soundText(
            QT_TRANSLATE_NOOP("Sound", "The MIDI port %1 is gone; playing through the built-in "
                                       "synthesizer instead."),
            {spec.substr(5)}));
        return output;
    }
    output = OutputRegistry::create(spec, settings, error);
    if (!output) {
        std::fprintf(stderr, "sonabel: output %s: %s; using %s\n", spec.c_str(), error.c_str(),
                     OutputRegistry::DefaultName);
        output = OutputRegistry::create(OutputRegistry::DefaultName, settings, error);
        output->reportProblem(soundText(
            QT_TRANSLATE_NOOP("Sound", "The output \"%1\" cannot be used; playing through the "
                                       "built-in synthesizer instead."),
            {spec}));
    }
    return output;
}

std::unique_ptr<SequencerDevice> makeSequencerDevice(const SoundChoice &chosen, QObject *parent)
{
    return std::make_unique<MidiSequencer>(std::shared_ptr<MidiOutput>(makeOutput(chosen)),
                                           std::make_shared<SteadyClock>(), parent);
}

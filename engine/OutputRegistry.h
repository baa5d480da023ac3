// The one place that knows every MIDI output by name. A name is "synth",
// "silent", "recording" or "alsa:CLIENT:PORT" (the part after the first colon
// is the backend's argument). The ALSA output is offered only where ALSA was
// built in and the sequencer exists on this machine.
//
// Threads: any; the registry holds no state.
#pragma once

#include "engine/FluidSynthOutput.h"
#include "engine/MidiOutput.h"

#include <memory>
#include <string>
#include <vector>

struct OutputSettings
{
    // For the synthesizer: SoundFont, audio driver, audio file, sample rate.
    FluidSynthOptions synth;
};

class OutputRegistry
{
public:
    struct Entry
    {
        std::string name;
        std::string description;
        bool offered; // false: built in, but unusable on this machine
    };

    static constexpr const char *DefaultName = "synth";

    // Every built-in output, offered or not, in the order they are preferred.
    static std::vector<Entry> entries();
    // The names of the outputs offered here, comma separated.
    static std::string offeredNames();

    // Creates the output a name stands for. On an unknown or unusable name it
    // returns nullptr and sets error to a line that lists the offered names.
    static std::unique_ptr<MidiOutput> create(const std::string &spec,
                                              const OutputSettings &settings, std::string &error);
};

// What plays the songs, as the user chose it in the sound dialog and the
// settings file keeps it. DeviceFactory turns a choice into an output; the
// environment variables it reads win over the choice, field by field.
#pragma once

#include <QString>

struct SoundChoice
{
    // FluidSynth's own default volume.
    static constexpr double DefaultGain = 0.2;
    // The top of the volume range, as FluidSynth's gain: the sound dialog's
    // slider and the media bus's Volume stop here.
    static constexpr double MaxGain = 2.0;

    // "synth" (the built-in synthesizer), "silent", or "alsa:CLIENT:PORT";
    // empty: "synth".
    QString output;
    // The synthesizer's SoundFont file; empty: the default one.
    QString soundFont;
    // A FluidSynth audio driver ("pulseaudio", "alsa", "jack", ...); empty:
    // the usual ones in turn.
    QString audioDriver;
    double gain = DefaultGain;
    bool reverb = true;
    bool chorus = true;

    bool operator==(const SoundChoice &) const = default;
};

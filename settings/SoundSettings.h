// What plays the songs, as kept in the settings file's [Sound] group: the
// keys SoundFont, Output, AudioDriver, Gain, Reverb and Chorus. The group is
// written when the user applies the sound dialog, and read at start. A value
// that cannot be read takes its default. Plain code: no widgets.
#pragma once

#include <QString>

class SettingsStore;

struct SoundSettings
{
    QString SoundFont;   // a SoundFont file; empty: the default one
    QString Output;      // "synth", "silent" or "alsa:CLIENT:PORT"; empty: "synth"
    QString AudioDriver; // "pulseaudio", "alsa", "jack", ...; empty: automatic
    double Gain = 0.2;   // the synthesizer's volume, 0 to 10
    bool Reverb = true;
    bool Chorus = true;

    bool operator==(const SoundSettings &) const = default;
};

SoundSettings LoadSoundSettings(const SettingsStore &store);
void SaveSoundSettings(const SoundSettings &sound, SettingsStore &store);

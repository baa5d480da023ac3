// The one place that turns a sound choice into the real sequencer device.
//
// makeSequencerDevice() builds the real device (MidiSequencer, on the steady
// clock) with the output a SoundChoice asks for. These environment variables,
// read at each call, win over the choice:
//   SONABEL_OUTPUT        "synth", "silent", or "alsa:CLIENT:PORT" (an ALSA
//                         sequencer port, where the sequencer exists). An unknown
//                         name is reported once on stderr, with the names
//                         offered, and the synthesizer is used.
//   SONABEL_SOUNDFONT     the SoundFont for the synthesizer; without it and
//                         without a choice, SoundFonts::findDefault().
//   SONABEL_AUDIO_DRIVER  a FluidSynth audio driver ("pulseaudio", "alsa",
//                         "file", ...); without it pulseaudio, then alsa.
//   SONABEL_AUDIO_FILE    the WAV file the "file" driver writes in real time;
//                         it is complete once the device is destroyed.
// An ALSA port that is gone falls back to the synthesizer, and the device says
// so (SequencerDevice::SoundProblem), as it does for a SoundFont that is gone.
// The function returns at once: the output (SoundFont loading included) opens on
// the device's playback thread. When no audio output can be opened the device
// still plays (time goes on, silently) and says so.
//
// The device lives on the calling thread. With a parent, Qt's parent also
// deletes it: release() the pointer then.
#pragma once

#include "engine/MidiOutput.h"
#include "engine/SequencerDevice.h"
#include "engine/SoundChoice.h"

#include <memory>

class QObject;

// The environment variables above that are set: their fields hold the value,
// the others are empty (gain, reverb and chorus have no variable).
SoundChoice environmentSoundChoice();
// The choice with the environment's values put over it.
SoundChoice soundChoiceInForce(const SoundChoice &chosen);

// The output for a choice, the environment applied. Never null: an unusable
// choice falls back to the synthesizer, with the reason kept in problems().
std::unique_ptr<MidiOutput> makeOutput(const SoundChoice &chosen);

std::unique_ptr<SequencerDevice> makeSequencerDevice(const SoundChoice &chosen = {},
                                                     QObject *parent = nullptr);

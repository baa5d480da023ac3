// The one call the window makes to get its sequencer device.
//
// makeSequencerDevice() builds the real device (MidiSequencer, on the steady
// clock) with the output the environment asks for:
//   SONABEL_OUTPUT        "synth" (the default), "silent", or "alsa:CLIENT:PORT"
//                         (an ALSA sequencer port, where the sequencer exists).
//                         An unknown name is reported once on stderr, with the
//                         names offered, and the synthesizer is used.
//   SONABEL_SOUNDFONT     the SoundFont for the synthesizer; without it,
//                         default-GM.sf2 in /usr/share/sounds/sf2, else any .sf2
//                         there.
//   SONABEL_AUDIO_DRIVER  a FluidSynth audio driver ("pulseaudio", "alsa",
//                         "file", ...); without it pulseaudio, then alsa.
//   SONABEL_AUDIO_FILE    the WAV file the "file" driver writes in real time;
//                         it is complete once the device is destroyed.
// The function returns at once: the output (SoundFont loading included) opens on
// the device's playback thread. When no audio output can be opened the device
// still plays (time goes on, silently) and says so once on stderr.
//
// The device lives on the calling thread. With a parent, Qt's parent also
// deletes it: release() the pointer then.
#pragma once

#include "engine/SequencerDevice.h"

#include <memory>

class QObject;

std::unique_ptr<SequencerDevice> makeSequencerDevice(QObject *parent = nullptr);

// Offline rendering of a song with FluidSynth, as fast as the machine allows,
// on one core or on several.
//
// Events reach the synthesizer at the start of 64-frame blocks, on the same
// clock as FluidSynth's own file player (BlockClock in SongRenderer.cpp), so a
// render stays in step with what the synthesizer plays live.
//
// On several cores the song is split at points in time into pieces, which
// render at once on synthesizers of their own. A piece starts from the channel
// state chased to its first frame, plays the notes that start in it and every
// other event from there on (note-offs, controllers, pedals), and goes on past
// its end for as long as its notes and the effects ring. Mixing is linear, so
// the sum of the pieces is the song. Each worker thread keeps one synthesizer
// and renders its share of the pieces in order (worker w the pieces w, w + N,
// ...); the pieces are summed in piece order and handed on as soon as no
// running piece can add to them any more, so memory stays bounded by the
// pieces in flight, not by the song, and the same song renders to the same
// samples every time.
//
// Threads: renderSong() runs on the caller's thread, which receives every
// frame (the sink), and starts the worker threads it needs; they are joined
// before it returns. Nothing escapes a worker thread: a failure there stops
// the render and comes back as the result.
#pragma once

#include "engine/MidiFile.h"
#include "engine/Timeline.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct RenderSettings
{
    std::string soundFont; // a SoundFont file; empty: FluidSynthOutput::findSoundFont()
    int rate = 44100;      // frames per second
    // Complete messages sent before the song (a GM or GS reset, say): channel
    // messages, or SysEx from F0 to F7.
    std::vector<std::vector<std::uint8_t>> reset;
    int jobs = 1;       // worker threads; 1 renders the song in one piece
    double gain = -1;   // FluidSynth's synth.gain; below 0: its default
    bool reverb = true; // FluidSynth's reverb and chorus
    bool chorus = true;
    // After the End of Track the last notes are let go and the song goes on
    // until it is silent (no voice left, the effects died away), for at most
    // this long; 0 ends the audio at the End of Track.
    double tailSeconds = 5.0;
};

// Receives the song's frames in order, at most a few thousand at a time:
// interleaved stereo, full scale 1.0. Returns false to stop the render (the
// frames could not be written).
using FrameSink = std::function<bool(const float *interleaved, std::int64_t frames)>;

struct RenderControl
{
    // When set (from any thread), the render stops within a block of audio.
    const std::atomic<bool> *cancel = nullptr;
    // How much of the song is rendered, from 0 to 1, by the estimated work.
    // Called from the render's threads, one call at a time, each time with a
    // larger fraction; it must return quickly.
    std::function<void(double fraction)> progress;
};

// Renders the song to the sink. Returns an empty string when the song was
// rendered or stopped (cancelled, or the sink refused), else why it could not
// be (the SoundFont did not load, memory ran out).
std::string renderSong(const MidiFile &file, const Timeline &timeline,
                       const RenderSettings &settings, const FrameSink &sink,
                       const RenderControl &control = {});

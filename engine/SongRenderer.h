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
// and takes the pieces in order; the pieces are summed and handed on in order
// as soon as no running piece can add to them any more, so memory stays
// bounded by the pieces in flight, not by the song.
#pragma once

#include "engine/MidiFile.h"
#include "engine/Timeline.h"

#include <cstdint>
#include <functional>
#include <string>

struct RenderSettings
{
    std::string soundFont; // a SoundFont file
    int rate = 44100;      // frames per second
    std::string reset;     // "gm" or "gs": that reset SysEx before the song
    int jobs = 1;          // worker threads; 1 renders the song in one piece
};

// Receives the song's frames in order: interleaved stereo, full scale 1.0.
using FrameSink = std::function<void(const float *interleaved, std::int64_t frames)>;

// Renders the song to the sink. Returns an empty string, or why it could not
// (the SoundFont did not load).
std::string renderSong(const MidiFile &file, const Timeline &timeline,
                       const RenderSettings &settings, const FrameSink &sink);

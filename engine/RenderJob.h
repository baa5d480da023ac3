// Saving one song as an audio file: the song read, rendered with the player's
// sound on every core (SongRenderer), played to its end and on until its last
// notes and the effects are silent (at most five seconds more), and encoded
// into a FLAC, Ogg Vorbis or WAV file by the name's extension (AudioFile).
// Several songs are several jobs, one after another.
//
// Threads: run() takes as long as the render and belongs on a worker thread;
// it encodes there while the render's own threads synthesize. cancel() may be
// called from any thread, at any time: the job then stops within a block of
// audio and removes the unfinished file. The progress callback is called from
// the job's threads (the render's among them), one call at a time, a few
// times a second; it must return quickly (post the figures to the window's
// thread). No exception leaves run(); whatever goes wrong ends in error().
#pragma once

#include "engine/SoundChoice.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

struct RenderRequest
{
    QString song;   // the MIDI file
    QString output; // the audio file; .flac, .ogg or .wav in any letter case
    QString title;  // written as the file's title; empty: none
    // The player's sound: its SoundFont (empty: the default one), volume,
    // reverb and chorus. Where it plays to does not matter here.
    SoundChoice sound;
    // What the player sends before each song: the settings of a reset file
    // (its SysEx and controller messages, not its time), then these messages
    // (channel messages, or SysEx from F0 to F7).
    QString resetFile;
    std::vector<std::vector<std::uint8_t>> resetMessages;
    int rate = 44100;
    int jobs = 0; // render threads; 0: one per core
    // How long the song may ring on past its end, until silence; 0 cuts the
    // audio at the End of Track.
    double tailSeconds = 5.0;
};

class RenderJob
{
public:
    enum class Outcome { Saved, Cancelled, Failed };

    struct Progress
    {
        double fraction = 0;     // of the song, from 0 to 1
        double secondsLeft = -1; // estimated; below 0 while there is no estimate yet
    };
    using ProgressCallback = std::function<void(const Progress &)>;

    explicit RenderJob(RenderRequest request);

    // Renders and saves the song; the file exists under its name only when
    // the outcome is Saved. Runs once.
    Outcome run(const ProgressCallback &progress = {});
    // Stops a running job, or one not started yet, at once.
    void cancel() { m_cancel = true; }

    // Which file failed and why, after Failed.
    const QString &error() const { return m_error; }
    const RenderRequest &request() const { return m_request; }

private:
    Outcome save(const ProgressCallback &progress);
    Outcome fail(const QString &why);

    RenderRequest m_request;
    std::atomic<bool> m_cancel{false};
    QString m_error;
};

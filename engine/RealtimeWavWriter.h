// The synthesizer's "file" audio output: a thread that renders audio in real
// time, 64 frames at a time as the clock reaches them, and writes it to a
// 16-bit stereo WAV file, as FluidSynth's own file driver does. It takes the
// audio from a function, so the synthesizer can take its queued messages and
// measure its level between two blocks, as it does under a real audio driver.
//
// Threads: start() and the destructor on the owner's thread; render() is
// called on the writer's own thread (at real-time priority where the system
// allows it). The file is complete once the writer is destroyed.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

class RealtimeWavWriter
{
public:
    // Fills frames of interleaved stereo.
    using Render = std::function<void(std::int16_t *interleaved, int frames)>;
    static constexpr int Block = 64;

    RealtimeWavWriter(std::string path, int rate, Render render);
    // Stops the thread and completes the file's header.
    ~RealtimeWavWriter();
    RealtimeWavWriter(const RealtimeWavWriter &) = delete;
    RealtimeWavWriter &operator=(const RealtimeWavWriter &) = delete;

    // Opens the file and starts writing; false (with *error) when the file
    // cannot be written.
    bool start(std::string *error);

private:
    void run();
    void finish();

    std::string m_path;
    int m_rate;
    Render m_render;
    std::FILE *m_file = nullptr;
    std::uint64_t m_frames = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

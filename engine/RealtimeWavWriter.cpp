// The real-time WAV output; see RealtimeWavWriter.h.
#include "engine/RealtimeWavWriter.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <vector>
#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace {

void put16(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

void put32(std::uint8_t *p, std::uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

// The 44-byte header of a 16-bit stereo WAV file with dataBytes of samples.
std::array<std::uint8_t, 44> header(int rate, std::uint64_t dataBytes)
{
    const auto data = std::uint32_t(
        std::min<std::uint64_t>(dataBytes, std::numeric_limits<std::uint32_t>::max() - 36));
    std::array<std::uint8_t, 44> h{};
    std::memcpy(h.data(), "RIFF", 4);
    put32(h.data() + 4, 36 + data);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h.data() + 16, 16);
    put16(h.data() + 20, 1); // PCM
    put16(h.data() + 22, 2);
    put32(h.data() + 24, std::uint32_t(rate));
    put32(h.data() + 28, std::uint32_t(rate) * 4);
    put16(h.data() + 32, 4);
    put16(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h.data() + 40, data);
    return h;
}

} // namespace

RealtimeWavWriter::RealtimeWavWriter(std::string path, int rate, Render render)
    : m_path(std::move(path)), m_rate(rate), m_render(std::move(render))
{}

RealtimeWavWriter::~RealtimeWavWriter()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    finish();
}

bool RealtimeWavWriter::start(std::string *error)
{
    m_file = std::fopen(m_path.c_str(), "wb");
    const auto h = header(m_rate, 0);
    if (!m_file || std::fwrite(h.data(), 1, h.size(), m_file) != h.size()) {
        *error = "cannot write " + m_path + ": " + std::strerror(errno);
        if (m_file)
            std::fclose(m_file);
        m_file = nullptr;
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

void RealtimeWavWriter::run()
{
#ifdef __linux__
    // As an audio driver's thread: ahead of everything else where allowed.
    sched_param param{};
    param.sched_priority = 60;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
#endif
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::vector<std::int16_t> block(2 * Block);
    while (!m_stop) {
        // Every block the clock has reached, then a sleep until the next one.
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        const auto due = std::uint64_t(elapsed) * std::uint64_t(m_rate) / 1000000;
        while (m_frames + Block <= due && !m_stop) {
            m_render(block.data(), Block);
            std::fwrite(block.data(), sizeof(std::int16_t), block.size(), m_file);
            m_frames += Block;
        }
        const auto next = std::chrono::microseconds((m_frames + Block) * 1000000 / m_rate);
        std::this_thread::sleep_until(start + next);
    }
}

void RealtimeWavWriter::finish()
{
    if (!m_file)
        return;
    const auto h = header(m_rate, m_frames * 4);
    std::fflush(m_file);
    if (std::fseek(m_file, 0, SEEK_SET) == 0)
        std::fwrite(h.data(), 1, h.size(), m_file);
    std::fclose(m_file);
    m_file = nullptr;
}

// The silent output: takes every message and plays nothing. The player uses it
// when asked for silence, the benchmarks to measure the sequencer alone.
// Threads: as MidiOutput; the counter may be read from any thread.
#pragma once

#include "engine/MidiOutput.h"

#include <atomic>

class SilentOutput : public MidiOutput
{
public:
    SilentOutput();
    std::string name() const override { return "silent"; }
    bool open() override { return true; }
    void send(std::uint8_t, std::uint8_t, std::uint8_t) override { ++m_messages; }
    void sendSysEx(std::span<const std::uint8_t>) override { ++m_messages; }

    // Messages taken so far.
    std::uint64_t messages() const { return m_messages.load(); }

private:
    std::atomic<std::uint64_t> m_messages{0};
};

// Status bookkeeping shared by every MIDI output.
#include "engine/MidiOutput.h"

MidiOutput::~MidiOutput() = default;

std::string MidiOutput::status() const
{
    std::lock_guard lock(m_statusMutex);
    return m_status;
}

void MidiOutput::setStatus(std::string status)
{
    std::lock_guard lock(m_statusMutex);
    m_status = std::move(status);
}

std::vector<std::string> MidiOutput::problems() const
{
    std::lock_guard lock(m_statusMutex);
    return m_problems;
}

void MidiOutput::reportProblem(std::string problem)
{
    std::lock_guard lock(m_statusMutex);
    m_problems.push_back(std::move(problem));
}

void MidiOutput::cutSound(std::uint16_t channels)
{
    for (int ch = 0; ch < 16; ++ch) {
        if (channels & (1u << ch))
            send(std::uint8_t(0xB0 | ch), 120, 0);
    }
}

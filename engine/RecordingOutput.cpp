// The recording output: every message kept in order; see RecordingOutput.h.
#include "engine/RecordingOutput.h"

#include "engine/MidiFile.h"

RecordingOutput::RecordingOutput(std::function<std::int64_t()> stamp) : m_stamp(std::move(stamp))
{
    setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "recording output")));
}

bool RecordingOutput::open()
{
    std::lock_guard lock(m_mutex);
    m_opened = true;
    return true;
}

void RecordingOutput::send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    Message m;
    m.bytes = {status, data1};
    if (midi::channelDataLength(status) == 2)
        m.bytes.push_back(data2);
    m.atUs = m_stamp ? m_stamp() : 0;
    std::lock_guard lock(m_mutex);
    m_messages.push_back(std::move(m));
}

void RecordingOutput::sendSysEx(std::span<const std::uint8_t> message)
{
    Message m;
    m.bytes.assign(message.begin(), message.end());
    m.atUs = m_stamp ? m_stamp() : 0;
    std::lock_guard lock(m_mutex);
    m_messages.push_back(std::move(m));
}

std::vector<RecordingOutput::Message> RecordingOutput::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

void RecordingOutput::clear()
{
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

bool RecordingOutput::opened() const
{
    std::lock_guard lock(m_mutex);
    return m_opened;
}

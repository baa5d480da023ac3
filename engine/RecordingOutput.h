// The recording output: keeps every message it is sent, in order, for tests to
// inspect. Threads: the playback thread sends, a test thread reads snapshots;
// a mutex guards the list.
#pragma once

#include "engine/MidiOutput.h"

#include <functional>
#include <mutex>
#include <vector>

class RecordingOutput : public MidiOutput
{
public:
    struct Message
    {
        std::vector<std::uint8_t> bytes; // status and data, or F0 ... F7
        std::int64_t atUs = 0;           // the stamp function's value when sent
    };

    // stamp: gives each message its time (a test's clock); none stamps 0.
    explicit RecordingOutput(std::function<std::int64_t()> stamp = {});

    std::string name() const override { return "recording"; }
    bool open() override;
    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) override;
    void sendSysEx(std::span<const std::uint8_t> message) override;

    std::vector<Message> messages() const;
    void clear();
    bool opened() const;

private:
    std::function<std::int64_t()> m_stamp;
    mutable std::mutex m_mutex;
    std::vector<Message> m_messages;
    bool m_opened = false;
};

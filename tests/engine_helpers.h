// Shared helpers of the engine tests: test data paths, hand-made files, a
// sequencer on a hand-stepped clock with a recording output, and checks on
// recorded message streams.
#pragma once

#include "engine/Chase.h"
#include "engine/Clock.h"
#include "engine/MidiFile.h"
#include "engine/MidiSequencer.h"
#include "engine/RecordingOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <array>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace enginetest {

inline std::string dataPath(const std::string &relative)
{
    return SONABEL_TEST_DATA_DIR "/" + relative;
}
inline std::string corpusPath(const std::string &relative)
{
    return dataPath("corpus/" + relative);
}

inline std::string writeFile(const QTemporaryDir &dir, const std::string &name,
                             const std::vector<std::uint8_t> &bytes)
{
    const std::string path = dir.path().toStdString() + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// Processes queued events until pred() holds or the timeout passes.
inline bool pumpUntil(const std::function<bool()> &pred, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Every note-on must be followed, on its channel, by its note-off, an All
// Notes Off or an All Sound Off. Returns a description of the first note left
// hanging, or an empty string. (Pedals are released explicitly by the
// sequencer, so a note ended under a held pedal counts as ended here.)
inline std::string hangingNotes(const std::vector<RecordingOutput::Message> &messages)
{
    std::array<std::array<int, 128>, 16> on{};
    for (const auto &m : messages) {
        if (m.bytes.size() < 3 || m.bytes[0] >= 0xF0)
            continue;
        auto &keys = on[m.bytes[0] & 0x0F];
        const int kind = m.bytes[0] & 0xF0;
        if (kind == 0x90 && m.bytes[2] > 0)
            ++keys[m.bytes[1]];
        else if ((kind == 0x80 || kind == 0x90) && keys[m.bytes[1]] > 0)
            --keys[m.bytes[1]];
        else if (kind == 0xB0 && (m.bytes[1] == 123 || m.bytes[1] == 120))
            keys.fill(0);
    }
    for (std::size_t ch = 0; ch < 16; ++ch) {
        for (std::size_t key = 0; key < 128; ++key) {
            if (on[ch][key] > 0)
                return "channel " + std::to_string(ch) + " key " + std::to_string(key);
        }
    }
    return {};
}

// The channel state a stream of messages leaves behind.
inline ChaseState stateOf(const std::vector<RecordingOutput::Message> &messages)
{
    ChaseState state;
    for (const auto &m : messages) {
        if (m.bytes.empty())
            continue;
        if (m.bytes[0] == 0xF0)
            state.applySysEx(m.bytes);
        else if (m.bytes[0] < 0xF0)
            state.apply(m.bytes[0], m.bytes.size() > 1 ? m.bytes[1] : 0,
                        m.bytes.size() > 2 ? m.bytes[2] : 0);
    }
    return state;
}

// A real sequencer device on a hand-stepped clock, recording what it sends.
struct Rig
{
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(1000000);
    std::shared_ptr<RecordingOutput> output =
        std::make_shared<RecordingOutput>([c = clock] { return c->now(); });
    std::unique_ptr<MidiSequencer> device = std::make_unique<MidiSequencer>(output, clock);
    std::vector<int> done;
    int statusUpdates = 0;

    Rig()
    {
        QObject::connect(device.get(), &SequencerDevice::Done,
                         [this](int code) { done.push_back(code); });
        QObject::connect(device.get(), &SequencerDevice::StatusUpdate, [this] { ++statusUpdates; });
        clock->waitForIdle();
    }

    // Steps the clock by ms in steps of at most 50 ms, each time waiting until
    // the playback thread has done everything due.
    void advance(std::int64_t ms)
    {
        while (ms > 0) {
            const std::int64_t step = std::min<std::int64_t>(ms, 50);
            clock->advance(step * 1000);
            clock->waitForIdle();
            ms -= step;
        }
    }
    void command(const char *name)
    {
        device->Command(QString::fromLatin1(name));
        clock->waitForIdle();
    }
    void open(const std::string &path)
    {
        device->setFileName(QString::fromStdString(path));
        command("Open");
    }
    // Delivers the queued Done and StatusUpdate events.
    void deliver() { QCoreApplication::processEvents(); }
};

} // namespace enginetest

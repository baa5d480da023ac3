// Chasing and silencing: what the sequencer sends around a jump in the song.
// Plain C++; each object belongs to the one thread that uses it.
//
// ChaseState follows the channel state a stream of events leaves behind:
// bank, program, every controller (RPN and NRPN parameters by number), pitch
// bend, channel pressure, channel mode, and the SysEx since the last reset
// SysEx. emit() sends that state so a song started in the middle sounds as if
// it had played from the start. Parameters the song sets somewhere but not yet
// at the chase point are sent at their power-on defaults, so a jump backwards
// undoes what came later. Tempo needs no chasing: the tempo map times every
// event.
//
// SoundingNotes counts what the sequencer itself sounded (notes, held pedals)
// and releases exactly that, plus All Notes Off on every channel the song
// uses; to silence, it then cuts the sound on every channel that sounded.
#pragma once

#include "engine/MidiOutput.h"
#include "engine/Timeline.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <set>
#include <span>
#include <vector>

class ChaseState
{
public:
    ChaseState();

    void apply(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void applySysEx(std::span<const std::uint8_t> message);
    void apply(const Timeline &timeline, const TimedEvent &e);
    // Applies the events [0, end) of a timeline.
    void applyUntil(const Timeline &timeline, std::size_t end);

    // Sends the state: the SysEx first, then for each channel in the mask a
    // Reset All Controllers followed by every parameter that `touched` (the
    // state after the whole song) ever saw set, at this state's value or its
    // default.
    void emit(MidiOutput &out, std::uint16_t channels, const ChaseState &touched) const;

    // Same values for every parameter and the same SysEx since the last reset.
    bool operator==(const ChaseState &other) const;
    // A readable account of the first difference, for test failures.
    std::string differenceFrom(const ChaseState &other) const;

    // True for the SysEx messages that reset a whole synthesizer (GM System On
    // and Off, GM2 On, GS Reset, XG System On).
    static bool isResetSysEx(std::span<const std::uint8_t> message);

private:
    struct Channel
    {
        std::array<std::int16_t, 128> cc; // -1: not set
        std::int16_t program = -1;
        std::int32_t bend = -1;
        std::int16_t pressure = -1;
        std::int16_t omni = -1; // 124 or 125
        std::int16_t mono = -1; // 126 (value + 1) or 0 for poly (127)
        std::int16_t rpnMsb = -1, rpnLsb = -1, nrpnMsb = -1, nrpnLsb = -1;
        bool nrpnSelected = false;
        // Data entry per parameter: (msb, lsb), -1 where not set. Key: number,
        // with bit 14 set for NRPN.
        std::map<std::uint16_t, std::pair<std::int16_t, std::int16_t>> params;
        std::set<std::uint16_t> everParams;

        // Ever set (never cleared): drives which parameters a chase sends.
        std::bitset<128> everCc;
        bool everProgram = false, everBend = false, everPressure = false, everMode = false;

        Channel() { cc.fill(-1); }
        bool operator==(const Channel &o) const;
    };
    void resetControllers(Channel &c);
    void resetParameters(Channel &c);
    void emitChannel(MidiOutput &out, int ch, const Channel &touched) const;

    std::array<Channel, 16> m_channels;
    std::vector<std::vector<std::uint8_t>> m_sysEx;
};

class SoundingNotes
{
public:
    // Follows a channel message the sequencer has just sent.
    void track(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    // Lets go of what sounds, as a song's end does: a note-off for every note
    // still held, every held pedal up, then All Notes Off on each channel of
    // the mask and each channel that sounded. The notes ring out in their own
    // release.
    void release(MidiOutput &out, std::uint16_t channels);
    // Stops everything at once: release(), then the output's cutSound() on
    // every channel that sounded since the last silence (none sounded: no
    // cut). Releasing first matters: a note-off or pedal release that reaches
    // a synthesizer after the cut could bring the note back.
    void silence(MidiOutput &out, std::uint16_t channels);
    bool anySounding() const;

private:
    std::array<std::array<std::uint8_t, 128>, 16> m_count{};
    std::array<std::uint8_t, 16> m_pedals{}; // bit 0 sustain, 1 sostenuto, 2 hold 2
    std::uint16_t m_sounded = 0;             // channels with a note-on since the last cut
};

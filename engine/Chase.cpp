// Chasing channel state and silencing sounding notes; see Chase.h.
#include "engine/Chase.h"

#include <algorithm>
#include <optional>

namespace {

constexpr std::uint8_t ControlChange = 0xB0;
constexpr std::uint16_t NrpnBit = 1u << 14;

// Power-on value of a controller (GM: volume 100, pan and balance centre,
// expression full, reverb send 40; everything else 0).
std::int16_t defaultController(int cc)
{
    switch (cc) {
    case 7:
        return 100;
    case 8:
    case 10:
        return 64;
    case 11:
        return 127;
    case 91:
        return 40;
    default:
        return 0;
    }
}

// Power-on value of a registered parameter (pitch bend range 2 semitones,
// fine and coarse tuning centred); none for the others.
std::optional<std::pair<std::int16_t, std::int16_t>> defaultParameter(std::uint16_t key)
{
    switch (key) {
    case 0:
        return std::pair<std::int16_t, std::int16_t>(2, 0);
    case 1:
    case 2:
        return std::pair<std::int16_t, std::int16_t>(64, 0);
    default:
        return std::nullopt;
    }
}

bool isParameterController(int cc)
{
    return cc == 6 || cc == 38 || (cc >= 96 && cc <= 101);
}

// Controllers a Reset All Controllers leaves alone (RP-015): bank, volume, pan,
// effect sends and the sound controllers.
bool survivesReset(int cc)
{
    return cc == 0 || cc == 32 || cc == 7 || cc == 10 || (cc >= 70 && cc <= 79) ||
           (cc >= 91 && cc <= 95);
}

} // namespace

ChaseState::ChaseState() = default;

bool ChaseState::Channel::operator==(const Channel &o) const
{
    return cc == o.cc && program == o.program && bend == o.bend && pressure == o.pressure &&
           omni == o.omni && mono == o.mono && params == o.params;
}

bool ChaseState::operator==(const ChaseState &other) const
{
    return m_channels == other.m_channels && m_sysEx == other.m_sysEx;
}

std::string ChaseState::differenceFrom(const ChaseState &other) const
{
    if (m_sysEx != other.m_sysEx)
        return "SysEx differ: " + std::to_string(m_sysEx.size()) + " vs " +
               std::to_string(other.m_sysEx.size());
    for (int ch = 0; ch < 16; ++ch) {
        const Channel &a = m_channels[std::size_t(ch)];
        const Channel &b = other.m_channels[std::size_t(ch)];
        const std::string where = "channel " + std::to_string(ch) + ": ";
        for (int c = 0; c < 128; ++c) {
            if (a.cc[std::size_t(c)] != b.cc[std::size_t(c)])
                return where + "controller " + std::to_string(c) + " " +
                       std::to_string(a.cc[std::size_t(c)]) + " vs " +
                       std::to_string(b.cc[std::size_t(c)]);
        }
        if (a.program != b.program)
            return where + "program " + std::to_string(a.program) + " vs " +
                   std::to_string(b.program);
        if (a.bend != b.bend)
            return where + "bend " + std::to_string(a.bend) + " vs " + std::to_string(b.bend);
        if (a.pressure != b.pressure)
            return where + "pressure";
        if (a.omni != b.omni || a.mono != b.mono)
            return where + "mode";
        if (a.params != b.params)
            return where + "RPN/NRPN parameters";
    }
    return {};
}

bool ChaseState::isResetSysEx(std::span<const std::uint8_t> m)
{
    auto is = [&m](std::initializer_list<int> pattern) {
        if (m.size() != pattern.size())
            return false;
        std::size_t i = 0;
        for (int p : pattern) {
            if (p >= 0 && m[i] != p)
                return false;
            ++i;
        }
        return true;
    };
    // -1 stands for the device id (and the GS checksum).
    return is({0xF0, 0x7E, -1, 0x09, 0x01, 0xF7}) || is({0xF0, 0x7E, -1, 0x09, 0x02, 0xF7}) ||
           is({0xF0, 0x7E, -1, 0x09, 0x03, 0xF7}) ||
           is({0xF0, 0x41, -1, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, -1, 0xF7}) ||
           is({0xF0, 0x43, -1, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7});
}

void ChaseState::resetControllers(Channel &c)
{
    // A parameter the song has set goes back to its default; one it never set
    // stays unknown, exactly as emit() would send it.
    for (int i = 0; i < 128; ++i) {
        if (!survivesReset(i))
            c.cc[std::size_t(i)] = c.everCc.test(std::size_t(i)) ? defaultController(i) : -1;
    }
    c.bend = c.everBend ? 8192 : -1;
    c.pressure = c.everPressure ? 0 : -1;
    c.rpnMsb = c.rpnLsb = 127; // the null parameter
    c.nrpnMsb = c.nrpnLsb = -1;
    c.nrpnSelected = false;
}

void ChaseState::resetParameters(Channel &c)
{
    c.params.clear();
    for (std::uint16_t key : c.everParams) {
        if (const auto value = defaultParameter(key))
            c.params[key] = *value;
    }
}

void ChaseState::apply(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    Channel &c = m_channels[status & 0x0F];
    switch (status & 0xF0) {
    case 0xC0:
        c.program = data1;
        c.everProgram = true;
        return;
    case 0xD0:
        c.pressure = data1;
        c.everPressure = true;
        return;
    case 0xE0:
        c.bend = data1 | (data2 << 7);
        c.everBend = true;
        return;
    case 0xB0:
        break;
    default:
        return; // notes and key pressure belong to notes, not to the channel
    }
    const int cc = data1;
    switch (cc) {
    case 101:
        c.rpnMsb = data2;
        c.nrpnSelected = false;
        return;
    case 100:
        c.rpnLsb = data2;
        c.nrpnSelected = false;
        return;
    case 99:
        c.nrpnMsb = data2;
        c.nrpnSelected = true;
        return;
    case 98:
        c.nrpnLsb = data2;
        c.nrpnSelected = true;
        return;
    case 6:
    case 38: {
        const std::int16_t msb = c.nrpnSelected ? c.nrpnMsb : c.rpnMsb;
        const std::int16_t lsb = c.nrpnSelected ? c.nrpnLsb : c.rpnLsb;
        if (msb < 0 || lsb < 0 || (msb == 127 && lsb == 127))
            return; // no parameter selected: data entry goes nowhere
        const auto key = std::uint16_t((msb << 7) | lsb | (c.nrpnSelected ? NrpnBit : 0));
        // A first data entry changes one half; the other keeps its default.
        const auto initial =
            defaultParameter(key).value_or(std::pair<std::int16_t, std::int16_t>(-1, -1));
        auto &value = c.params.try_emplace(key, initial).first->second;
        (cc == 6 ? value.first : value.second) = data2;
        c.everParams.insert(key);
        return;
    }
    case 96:
    case 97:
        return; // increments are not followed
    case 120:
    case 123:
        return; // sound off / notes off leave the state alone
    case 121:
        resetControllers(c);
        return;
    case 124:
    case 125:
        c.omni = std::int16_t(cc);
        c.everMode = true;
        return;
    case 126:
        c.mono = std::int16_t(data2 + 1);
        c.everMode = true;
        return;
    case 127:
        c.mono = 0;
        c.everMode = true;
        return;
    case 122:
        return; // local control concerns keyboards only
    default:
        c.cc[std::size_t(cc)] = data2;
        c.everCc.set(std::size_t(cc));
        return;
    }
}

void ChaseState::applySysEx(std::span<const std::uint8_t> message)
{
    if (isResetSysEx(message)) {
        m_sysEx.clear();
        for (Channel &c : m_channels) {
            for (int i = 0; i < 128; ++i) {
                c.cc[std::size_t(i)] =
                    c.everCc.test(std::size_t(i)) ? defaultController(i) : std::int16_t(-1);
            }
            resetControllers(c);
            c.program = c.everProgram ? 0 : -1;
            c.omni = -1;
            c.mono = c.everMode ? 0 : -1;
            resetParameters(c);
        }
    }
    m_sysEx.emplace_back(message.begin(), message.end());
}

void ChaseState::apply(const Timeline &timeline, const TimedEvent &e)
{
    if (e.eventClass == TimedEvent::SysEx)
        applySysEx(timeline.sysEx(e));
    else if (e.eventClass != TimedEvent::Tempo)
        apply(e.status, e.data1, e.data2);
}

void ChaseState::applyUntil(const Timeline &timeline, std::size_t end)
{
    const auto &events = timeline.events();
    end = std::min(end, events.size());
    for (std::size_t i = 0; i < end; ++i)
        apply(timeline, events[i]);
}

void ChaseState::emit(MidiOutput &out, std::uint16_t channels, const ChaseState &touched) const
{
    for (const auto &m : m_sysEx)
        out.sendSysEx(m);
    for (int ch = 0; ch < 16; ++ch) {
        if (channels & (1u << ch))
            emitChannel(out, ch, touched.m_channels[std::size_t(ch)]);
    }
}

void ChaseState::emitChannel(MidiOutput &out, int ch, const Channel &touched) const
{
    const Channel &c = m_channels[std::size_t(ch)];
    const auto cc = [&out, ch](int number, int value) {
        out.send(std::uint8_t(ControlChange | ch), std::uint8_t(number), std::uint8_t(value));
    };
    cc(121, 0);
    if (touched.everMode) {
        if (c.omni >= 0)
            cc(c.omni, 0);
        if (c.mono > 0)
            cc(126, c.mono - 1);
        else
            cc(127, 0);
    }
    if (touched.everCc.test(0))
        cc(0, std::max<int>(0, c.cc[0]));
    if (touched.everCc.test(32))
        cc(32, std::max<int>(0, c.cc[32]));
    if (touched.everProgram)
        out.send(std::uint8_t(0xC0 | ch), std::uint8_t(std::max<int>(0, c.program)), 0);
    for (int i = 1; i < 120; ++i) {
        if (i == 32 || isParameterController(i) || !touched.everCc.test(std::size_t(i)))
            continue;
        const int v = c.cc[std::size_t(i)];
        cc(i, v >= 0 ? v : defaultController(i));
    }
    // Every parameter the song sets somewhere, at this point's value or, for
    // the registered ones, at the default (a jump back undoes later changes).
    bool sentParameter = false;
    for (std::uint16_t key : touched.everParams) {
        const auto it = c.params.find(key);
        const auto value = it != c.params.end() ? std::optional(it->second) : defaultParameter(key);
        if (!value)
            continue;
        const bool nrpn = key & NrpnBit;
        cc(nrpn ? 99 : 101, (key >> 7) & 0x7F);
        cc(nrpn ? 98 : 100, key & 0x7F);
        if (value->first >= 0)
            cc(6, value->first);
        if (value->second >= 0)
            cc(38, value->second);
        sentParameter = true;
    }
    // Leave the parameter selection where the song left it.
    if (c.nrpnSelected) {
        if (c.nrpnMsb >= 0)
            cc(99, c.nrpnMsb);
        if (c.nrpnLsb >= 0)
            cc(98, c.nrpnLsb);
    } else if (c.rpnMsb >= 0 || c.rpnLsb >= 0) {
        if (c.rpnMsb >= 0)
            cc(101, c.rpnMsb);
        if (c.rpnLsb >= 0)
            cc(100, c.rpnLsb);
    } else if (sentParameter) {
        cc(101, 127);
        cc(100, 127);
    }
    if (touched.everBend) {
        const int bend = c.bend >= 0 ? c.bend : 8192;
        out.send(std::uint8_t(0xE0 | ch), std::uint8_t(bend & 0x7F), std::uint8_t(bend >> 7));
    }
    if (touched.everPressure)
        out.send(std::uint8_t(0xD0 | ch), std::uint8_t(std::max<int>(0, c.pressure)), 0);
}

void SoundingNotes::track(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    const int ch = status & 0x0F;
    std::uint8_t &count = m_count[std::size_t(ch)][data1 & 0x7F];
    switch (status & 0xF0) {
    case 0x90:
        if (data2 > 0) {
            if (count < 255)
                ++count;
            m_sounded |= std::uint16_t(1u << ch);
            return;
        }
        [[fallthrough]];
    case 0x80:
        if (count > 0)
            --count;
        return;
    case 0xB0: {
        int bit = -1;
        if (data1 == 64)
            bit = 0;
        else if (data1 == 66)
            bit = 1;
        else if (data1 == 69)
            bit = 2;
        if (bit >= 0) {
            if (data2 >= 64)
                m_pedals[std::size_t(ch)] |= std::uint8_t(1u << bit);
            else
                m_pedals[std::size_t(ch)] &= std::uint8_t(~(1u << bit));
        } else if (data1 == 123 || (data1 >= 124 && data1 <= 127)) {
            // All notes off (and every mode change, which implies it): only
            // what a pedal holds goes on sounding.
            m_count[std::size_t(ch)].fill(0);
        } else if (data1 == 120) {
            m_count[std::size_t(ch)].fill(0);
        }
        return;
    }
    default:
        return;
    }
}

bool SoundingNotes::anySounding() const
{
    for (const auto &keys : m_count) {
        if (std::any_of(keys.begin(), keys.end(), [](std::uint8_t n) { return n > 0; }))
            return true;
    }
    return std::any_of(m_pedals.begin(), m_pedals.end(), [](std::uint8_t p) { return p != 0; });
}

void SoundingNotes::release(MidiOutput &out, std::uint16_t channels)
{
    for (int ch = 0; ch < 16; ++ch) {
        auto &keys = m_count[std::size_t(ch)];
        for (int key = 0; key < 128; ++key) {
            for (int n = keys[std::size_t(key)]; n > 0; --n)
                out.send(std::uint8_t(0x80 | ch), std::uint8_t(key), 0);
        }
        keys.fill(0);
        const std::uint8_t pedals = m_pedals[std::size_t(ch)];
        if (pedals & 1)
            out.send(std::uint8_t(ControlChange | ch), 64, 0);
        if (pedals & 2)
            out.send(std::uint8_t(ControlChange | ch), 66, 0);
        if (pedals & 4)
            out.send(std::uint8_t(ControlChange | ch), 69, 0);
        m_pedals[std::size_t(ch)] = 0;
    }
    const std::uint16_t all = std::uint16_t(channels | m_sounded);
    for (int ch = 0; ch < 16; ++ch) {
        if (all & (1u << ch))
            out.send(std::uint8_t(ControlChange | ch), 123, 0);
    }
}

void SoundingNotes::silence(MidiOutput &out, std::uint16_t channels)
{
    release(out, channels);
    if (m_sounded != 0)
        out.cutSound(m_sounded);
    m_sounded = 0;
}

// An ALSA sequencer output port; see AlsaOutput.h.
#ifdef SONABEL_HAVE_ALSA

#include "engine/AlsaOutput.h"

#include <alsa/asoundlib.h>
#include <chrono>
#include <thread>
#include <vector>

AlsaOutput::AlsaOutput(std::string destination) : m_destination(std::move(destination))
{
    setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "ALSA sequencer: not opened yet")));
}

AlsaOutput::~AlsaOutput()
{
    close();
}

bool AlsaOutput::available()
{
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_close(seq);
    return true;
}

std::vector<AlsaOutput::Port> AlsaOutput::ports()
{
    std::vector<Port> found;
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return found;
    const int self = snd_seq_client_id(seq);
    snd_seq_client_info_t *client = nullptr;
    snd_seq_port_info_t *port = nullptr;
    snd_seq_client_info_malloc(&client);
    snd_seq_port_info_malloc(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(seq, client) >= 0) {
        const int id = snd_seq_client_info_get_client(client);
        if (id == self || id == SND_SEQ_CLIENT_SYSTEM)
            continue;
        snd_seq_port_info_set_client(port, id);
        snd_seq_port_info_set_port(port, -1);
        while (snd_seq_query_next_port(seq, port) >= 0) {
            const unsigned wanted = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
            if ((snd_seq_port_info_get_capability(port) & wanted) != wanted)
                continue;
            found.push_back(
                {std::to_string(id) + ":" + std::to_string(snd_seq_port_info_get_port(port)),
                 std::string(snd_seq_client_info_get_name(client)) + ": " +
                     snd_seq_port_info_get_name(port)});
        }
    }
    snd_seq_port_info_free(port);
    snd_seq_client_info_free(client);
    snd_seq_close(seq);
    return found;
}

bool AlsaOutput::portExists(const std::string &destination)
{
    snd_seq_t *seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_addr_t address;
    snd_seq_port_info_t *port = nullptr;
    snd_seq_port_info_malloc(&port);
    // Parsing resolves names; numbers it takes as they are, so ask for the port.
    const bool exists = snd_seq_parse_address(seq, &address, destination.c_str()) >= 0 &&
                        snd_seq_get_any_port_info(seq, address.client, address.port, port) >= 0;
    snd_seq_port_info_free(port);
    snd_seq_close(seq);
    return exists;
}

bool AlsaOutput::open()
{
    int err = snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_OUTPUT, 0);
    if (err < 0) {
        m_seq = nullptr;
        setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "ALSA sequencer: cannot open it: %1"),
                            {snd_strerror(err)}));
        reportProblem(soundText(
            QT_TRANSLATE_NOOP("Sound", "The ALSA sequencer cannot be opened (%1), so songs play "
                                       "in silence. Choose another output in \"Sound ...\"."),
            {snd_strerror(err)}));
        return false;
    }
    snd_seq_set_client_name(m_seq, "Sonabel");
    m_port = snd_seq_create_simple_port(
        m_seq, "Sonabel output", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (m_port < 0) {
        setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "ALSA sequencer: cannot create a port: %1"),
                            {snd_strerror(m_port)}));
        return false;
    }
    snd_seq_addr_t dest;
    err = snd_seq_parse_address(m_seq, &dest, m_destination.c_str());
    if (err >= 0)
        err = snd_seq_connect_to(m_seq, m_port, dest.client, dest.port);
    if (err < 0) {
        setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "ALSA sequencer port %1: refused (silent)"),
                            {m_destination}));
        reportProblem(soundText(
            QT_TRANSLATE_NOOP("Sound", "The MIDI port %1 refused the connection (%2), so songs "
                                       "play in silence. Choose another output in \"Sound ...\"."),
            {m_destination, snd_strerror(err)}));
        return false;
    }
    setStatus(soundText(QT_TRANSLATE_NOOP("Sound", "ALSA sequencer port %1"), {m_destination}));
    return true;
}

void AlsaOutput::close()
{
    if (m_seq) {
        snd_seq_drain_output(m_seq);
        snd_seq_close(m_seq);
        m_seq = nullptr;
    }
}

void AlsaOutput::send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    if (!m_seq || m_port < 0)
        return;
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_source(&ev, m_port);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    const int ch = status & 0x0F;
    switch (status & 0xF0) {
    case 0x80:
        snd_seq_ev_set_noteoff(&ev, ch, data1, data2);
        break;
    case 0x90:
        snd_seq_ev_set_noteon(&ev, ch, data1, data2);
        break;
    case 0xA0:
        snd_seq_ev_set_keypress(&ev, ch, data1, data2);
        break;
    case 0xB0:
        snd_seq_ev_set_controller(&ev, ch, data1, data2);
        break;
    case 0xC0:
        snd_seq_ev_set_pgmchange(&ev, ch, data1);
        break;
    case 0xD0:
        snd_seq_ev_set_chanpress(&ev, ch, data1);
        break;
    case 0xE0:
        snd_seq_ev_set_pitchbend(&ev, ch, (data1 | (data2 << 7)) - 8192);
        break;
    default:
        return;
    }
    snd_seq_event_output_direct(m_seq, &ev);
}

void AlsaOutput::cutSound(std::uint16_t channels)
{
    MidiOutput::cutSound(channels);
    if (m_seq)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void AlsaOutput::sendSysEx(std::span<const std::uint8_t> message)
{
    if (!m_seq || m_port < 0 || message.empty())
        return;
    std::vector<std::uint8_t> copy(message.begin(), message.end());
    snd_seq_event_t ev;
    snd_seq_ev_clear(&ev);
    snd_seq_ev_set_source(&ev, m_port);
    snd_seq_ev_set_subs(&ev);
    snd_seq_ev_set_direct(&ev);
    snd_seq_ev_set_sysex(&ev, copy.size(), copy.data());
    snd_seq_event_output_direct(m_seq, &ev);
}

#endif

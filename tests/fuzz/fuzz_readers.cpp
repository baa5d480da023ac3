// libFuzzer target for every reader of outside input. The first byte picks the
// reader by its value modulo 4 and stays part of the input, so that real files
// seed it as they are:
//   0  the hand-over message as the running player reads it (a length's first
//      byte is 0 below the limit)
//   1  a MIDI file ("MThd"), its time line, chase, words and writer
//   2  an album (seed one with a blank first line)
//   3  the settings file ("[General]")
// Any bytes must read (or fail with a reason) without crashing, hanging or
// allocating beyond the input's size, keep the promises checked below, and
// what is read writes back into something that reads the same.
#include "engine/Chase.h"
#include "engine/Lyrics.h"
#include "engine/MidiFile.h"
#include "engine/SilentOutput.h"
#include "engine/Timeline.h"
#include "platform/InstanceLink.h"
#include "platform/SettingsStore.h"
#include "playlist/AlbumFile.h"
#include "settings/Settings.h"
#include "settings/SoundSettings.h"
#include "support/MemoryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

void require(bool holds)
{
    if (!holds)
        std::abort();
}

// A message is incomplete, too long or complete, never anything more than its
// length says; a complete one's texts hold no NUL and come through a new
// message unchanged, and every shorter part of it is incomplete.
void handOver(const QByteArray &bytes)
{
    using P = InstanceLink::Parsed;
    const P parsed = InstanceLink::parseMessage(bytes);
    if (bytes.size() < 4) {
        require(parsed.state == P::Incomplete);
        return;
    }
    const quint32 length = qFromBigEndian<quint32>(bytes.constData());
    require((parsed.state == P::TooLong) == (length > quint32(InstanceLink::MaxMessageBytes)));
    if (parsed.state != P::Complete)
        return;
    require(bytes.size() >= 4 + qsizetype(length) && !parsed.texts.isEmpty());
    for (const QString &text : parsed.texts)
        require(!text.contains(QChar(u'\0')));
    const P again = InstanceLink::parseMessage(InstanceLink::encodeMessage(parsed.texts));
    require(again.state == P::Complete && again.texts == parsed.texts);
    require(InstanceLink::parseMessage(bytes.left(4 + qsizetype(length) - 1)).state ==
            P::Incomplete);
}

// A file that opens builds a time line that never runs backwards and holds
// only the file's events, chases to its end and gives words that keep to their
// bounds; writing back is a fixed point after one round.
void midiFile(const std::uint8_t *data, std::size_t size)
{
    MidiFile file = MidiFile::parse(std::vector<std::uint8_t>(data, data + size));
    if (!file.ok()) {
        require(!file.error().empty());
        return;
    }
    const auto timeline = Timeline::build(file);
    ChaseState state;
    state.applyUntil(*timeline, timeline->events().size());
    SilentOutput out;
    state.emit(out, timeline->channelsUsed(), state);
    const auto &events = timeline->events();
    for (std::size_t i = 1; i < events.size(); ++i)
        require(events[i].timeUs >= events[i - 1].timeUs);
    std::size_t held = 0;
    for (const MidiTrack &t : file.tracks())
        held += t.events.size();
    require(held == file.eventCount() && events.size() <= held + file.trackCount());
    const Lyrics lyrics = Lyrics::read(file, timeline->tempoMap());
    for (const LyricLine &line : lyrics.lines()) {
        require(!line.syllables.empty() && line.text.size() <= Lyrics::MaxLineBytes &&
                line.syllables.back().end <= line.text.size());
    }
    const std::vector<std::uint8_t> once = file.serialize();
    const MidiFile again = MidiFile::parse(once);
    require(again.ok() && again.serialize() == once && again.eventCount() == file.eventCount());
}

// Read from a memory file, so no disk is touched: every line counts once, as
// an entry or as missing (CR LF, a lone CR or a lone LF ends one; the end of
// the file ends the last only when it holds something); no entry holds a line
// break or NUL, nor all of them more than the file's size.
void album(const std::uint8_t *data, std::size_t size, const QTemporaryDir &folder)
{
    const int fd = ::memfd_create("album", MFD_CLOEXEC);
    require(fd >= 0 && ::write(fd, data, size) == ssize_t(size));
    const AlbumReadResult read = readAlbum(QStringLiteral("/proc/self/fd/%1").arg(fd));
    ::close(fd);
    require(read.opened && read.complete && !read.outOfMemory);
    QByteArray ends(reinterpret_cast<const char *>(data), qsizetype(size));
    ends.replace("\r\n", "\n").replace('\r', '\n');
    const bool open = !ends.isEmpty() && !ends.endsWith('\n');
    require(read.entries.size() + read.missing == ends.count('\n') + (open ? 1 : 0));
    const QStringList entries = read.entries.toList();
    qsizetype held = 0;
    for (const QString &entry : entries) {
        held += entry.toUtf8().size() + 1;
        require(!entry.contains(u'\n') && !entry.contains(u'\r') && !entry.contains(QChar(u'\0')));
    }
    require(held <= qsizetype(size) + 1);
    const QString copy = folder.filePath(QStringLiteral("copy.mal"));
    require(writeAlbum(copy, entries));
    const AlbumReadResult again = readAlbum(copy);
    require(again.entries.toList() == entries && again.missing == 0);
}

// Any settings file loads into values the player can use (options in range, a
// finite position and gain), and what is saved loads back the same.
void settingsFile(const QByteArray &bytes, const QTemporaryDir &folder)
{
    const QString path = folder.filePath(QStringLiteral("Sonabel.ini"));
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    IniSettingsStore store(path);
    Settings settings;
    LoadSettings(settings, store, 1920 * 15, nullptr);
    require(settings.OnNewEntry <= 1 && settings.ResetMode <= 2 && settings.CurrentAlbum <= 1 &&
            std::isfinite(settings.WindowX) && std::isfinite(settings.WindowY));
    const SoundSettings sound = LoadSoundSettings(store);
    require(std::isfinite(sound.Gain));
    MemoryStore saved;
    SaveSettings(settings, saved, nullptr);
    SaveSoundSettings(sound, saved);
    // Every value saved: what loads back saves the same texts again.
    Settings again;
    LoadSettings(again, saved, 1920 * 15, nullptr);
    MemoryStore resaved;
    SaveSettings(again, resaved, nullptr);
    SaveSoundSettings(LoadSoundSettings(saved), resaved);
    require(resaved.values == saved.values);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir folder;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    switch (size == 0 ? 0 : data[0] % 4) {
    case 0:
        handOver(bytes);
        break;
    case 1:
        midiFile(data, size);
        break;
    case 2:
        album(data, size, folder);
        break;
    default:
        settingsFile(bytes, folder);
    }
    return 0;
}

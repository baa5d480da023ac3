// Writes the player's reset files into a folder (the build runs it and puts
// them beside the program): GM.MID sends General MIDI System On, GS.MID the GS
// Reset. Each is a format 0 file with the SysEx at time 0 and its End of Track
// after a settle time, during which the synthesizer finishes resetting before
// the next song starts.
//
// Usage: sonabel-make-reset-files FOLDER
#include "engine/MidiFile.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

// 500 ticks per quarter at 120 beats per minute: one tick is one millisecond.
constexpr int TicksPerQuarter = 500;
constexpr std::int64_t SettleMs = 80;

bool write(const std::filesystem::path &path, const std::vector<std::uint8_t> &sysEx)
{
    SmfWriter writer(0, TicksPerQuarter);
    writer.beginTrack();
    writer.tempo(0, midi::DefaultTempo);
    writer.sysEx(0, sysEx);
    writer.endTrack(SettleMs);
    const std::vector<std::uint8_t> bytes = writer.bytes();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "sonabel-make-reset-files: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: sonabel-make-reset-files FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder(argv[1]);
    const std::vector<std::uint8_t> gmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    const std::vector<std::uint8_t> gsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40,
                                               0x00, 0x7F, 0x00, 0x41, 0xF7};
    const bool ok = write(folder / "GM.MID", gmOn) && write(folder / "GS.MID", gsReset);
    return ok ? 0 : 1;
}

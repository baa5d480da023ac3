// Where SoundFonts are looked for, and which one plays when nobody chose one.
//
// The order is the one the sound dialog lists: FluidSynth's own default
// SoundFont (its synth.default-soundfont setting) when that file exists, then
// the .sf2 and .sf3 files of the system and per-user SoundFont folders, each
// folder's default-GM file first and the rest by name.
//
// Threads: any; nothing here keeps state.
#pragma once

#include <string>
#include <vector>

namespace SoundFonts {

// FluidSynth's synth.default-soundfont setting, whether the file exists or not.
std::string fluidDefault();
// /usr/share/sounds/sf2, /usr/share/sounds/sf3 and ~/.local/share/sounds/sf2.
std::vector<std::string> folders();
// The SoundFonts found, in the order above, each path once. fluidDefaultPath
// counts only when it names an existing file; missing folders are skipped.
std::vector<std::string> list(const std::string &fluidDefaultPath,
                              const std::vector<std::string> &folderPaths);
// The first of list(fluidDefault(), folders()), or empty when there is none.
std::string findDefault();

} // namespace SoundFonts

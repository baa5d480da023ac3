// Where SoundFonts are looked for, and which one plays when nobody chose one.
//
// The order is the one the sound dialog lists: FluidSynth's own default
// SoundFont (its synth.default-soundfont setting) when that file exists, then
// the .sf2 and .sf3 files of the per-user and system SoundFont folders, each
// folder's default-GM file first and the rest by name.
//
// Threads: any; nothing here keeps state.
#pragma once

#include <string>
#include <vector>

namespace SoundFonts {

// FluidSynth's synth.default-soundfont setting, whether the file exists or not.
std::string fluidDefault();
// The folders "sounds/sf2" and "sounds/sf3" of each data folder of the XDG
// base directories, most important first: $XDG_DATA_HOME (~/.local/share),
// then every entry of $XDG_DATA_DIRS (/usr/local/share:/usr/share). Relative
// entries are not valid there and are skipped; each folder is listed once.
std::vector<std::string> folders();
// The same from the values of those variables and of $HOME (null: unset).
std::vector<std::string> folders(const char *dataHome, const char *dataDirs, const char *home);
// The SoundFonts found, in the order above, each path once. fluidDefaultPath
// counts only when it names an existing file; missing folders are skipped.
std::vector<std::string> list(const std::string &fluidDefaultPath,
                              const std::vector<std::string> &folderPaths);
// The first of list(fluidDefault(), folders()), or empty when there is none.
std::string findDefault();

} // namespace SoundFonts

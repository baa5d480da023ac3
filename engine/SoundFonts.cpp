// The SoundFont search; see SoundFonts.h.
#include "engine/SoundFonts.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fluidsynth.h>

namespace fs = std::filesystem;

namespace {

bool isSoundFontName(const fs::path &path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".sf2" || ext == ".sf3";
}

// default-GM.* first (the system's chosen General MIDI set), then by name.
bool folderOrder(const fs::path &a, const fs::path &b)
{
    const bool aDefault = a.stem() == "default-GM";
    const bool bDefault = b.stem() == "default-GM";
    if (aDefault != bDefault)
        return aDefault;
    return a.filename() < b.filename();
}

} // namespace

namespace SoundFonts {

std::string fluidDefault()
{
    fluid_settings_t *settings = new_fluid_settings();
    if (!settings)
        return {};
    std::string path;
    char *value = nullptr;
    if (fluid_settings_getstr_default(settings, "synth.default-soundfont", &value) == FLUID_OK &&
        value)
        path = value;
    delete_fluid_settings(settings);
    return path;
}

std::vector<std::string> folders(const char *dataHome, const char *dataDirs, const char *home)
{
    std::vector<std::string> bases;
    if (dataHome && *dataHome == '/')
        bases.emplace_back(dataHome);
    else if (home && *home == '/')
        bases.push_back(std::string(home) + "/.local/share");
    const std::string systemDirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
    for (std::size_t start = 0; start <= systemDirs.size();) {
        const std::size_t end = std::min(systemDirs.find(':', start), systemDirs.size());
        if (systemDirs[start] == '/')
            bases.push_back(systemDirs.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> list;
    for (std::string base : bases) {
        while (base.size() > 1 && base.back() == '/')
            base.pop_back();
        for (const char *kind : {"/sounds/sf2", "/sounds/sf3"}) {
            if (std::find(list.begin(), list.end(), base + kind) == list.end())
                list.push_back(base + kind);
        }
    }
    return list;
}

std::vector<std::string> folders()
{
    return folders(std::getenv("XDG_DATA_HOME"), std::getenv("XDG_DATA_DIRS"), std::getenv("HOME"));
}

std::vector<std::string> list(const std::string &fluidDefaultPath,
                              const std::vector<std::string> &folderPaths)
{
    std::vector<std::string> found;
    auto add = [&found](const std::string &path) {
        if (std::find(found.begin(), found.end(), path) == found.end())
            found.push_back(path);
    };
    std::error_code ec;
    if (!fluidDefaultPath.empty() && fs::is_regular_file(fluidDefaultPath, ec))
        add(fluidDefaultPath);
    for (const std::string &folder : folderPaths) {
        std::vector<fs::path> files;
        for (const auto &entry : fs::directory_iterator(folder, ec)) {
            if (isSoundFontName(entry.path()) && entry.is_regular_file(ec))
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end(), folderOrder);
        for (const fs::path &file : files)
            add(file.string());
    }
    return found;
}

std::string findDefault()
{
    const std::vector<std::string> found = list(fluidDefault(), folders());
    return found.empty() ? std::string() : found.front();
}

} // namespace SoundFonts

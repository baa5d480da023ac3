// The folders are the architecture: the engine stands alone, the tools use
// only the engine, and no folder reaches back into one that includes it.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace fs = std::filesystem;

TEST(Layout, EachFolderIncludesOnlyWhatItMayAndNoneReachesBackIntoItself)
{
    const fs::path top = SONABEL_SOURCE_DIR;
    const std::set<std::string> folders = {"app",      "engine",   "mpris", "platform", "player",
                                           "playlist", "settings", "tools", "ui"};
    ASSERT_TRUE(fs::exists(top / "player/Player.cpp"));
    // folder -> folder it includes -> one file that does it (for the message)
    std::map<std::string, std::map<std::string, std::string>> graph;
    for (const std::string &folder : folders) {
        for (const auto &entry : fs::recursive_directory_iterator(top / folder)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h"))
                continue;
            const std::string file = fs::relative(entry.path(), top).string();
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) {
                std::erase_if(line, [](char c) { return c == ' ' || c == '\t'; });
                if (line.rfind("#include\"", 0) != 0 || line.find('/') == std::string::npos)
                    continue;
                const std::string header = line.substr(9, line.find('"', 9) - 9);
                const std::string to = header.substr(0, header.find('/'));
                if (!folders.count(to) || to == folder)
                    continue;
                graph[folder].emplace(to, file);
                const std::string what = file + " includes " + header;
                EXPECT_NE(folder, "engine") << what << ": the engine stands alone";
                EXPECT_TRUE(folder != "tools" || to == "engine")
                    << what << ": a tool uses only the engine";
                // The media player on the session bus is the program's
                // business only, and it sees the Player, not the window.
                EXPECT_TRUE(to != "mpris" || folder == "app") << what;
                EXPECT_FALSE(folder == "mpris" && to == "ui") << what;
                // The Player holds no widget: it includes nothing of the window.
                EXPECT_FALSE(file.rfind("player/Player.", 0) == 0 && to == "ui") << what;
                // The thin layers use of the engine only its check that a file
                // is a regular one before it is read.
                EXPECT_TRUE((folder != "platform" && folder != "settings") || to == "platform" ||
                            header == "engine/RegularFile.h")
                    << what;
            }
        }
    }
    ASSERT_TRUE(graph["app"].count("ui")) << "the scan sees no includes";
    for (const auto &[folder, edges] : graph) {
        // The folders that folder reaches through includes.
        std::set<std::string> seen;
        std::vector<std::string> todo = {folder};
        while (!todo.empty()) {
            const std::string at = todo.back();
            todo.pop_back();
            for (const auto &[next, file] : graph[at]) {
                if (seen.insert(next).second)
                    todo.push_back(next);
            }
        }
        EXPECT_FALSE(seen.count(folder)) << folder << "/ reaches itself through its includes ("
                                         << edges.begin()->second << " ...)";
    }
}

// The folders are the architecture: the engine stands alone, the tools use
// only the engine, and no folder reaches back into one that includes it.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::set<std::string> kFolders = {"app",      "engine",   "mpris", "platform", "player",
                                        "playlist", "settings", "tools", "ui"};

// One `#include "folder/…"` of a known folder, in a source file of another.
struct Include
{
    std::string file, header, from, to; // "player/Player.cpp", "engine/Midi.h", "player", "engine"
};

std::vector<Include> includesAcrossFolders()
{
    const fs::path top = SONABEL_SOURCE_DIR;
    std::vector<Include> found;
    for (const std::string &folder : kFolders) {
        if (!fs::is_directory(top / folder))
            continue;
        for (const auto &entry : fs::recursive_directory_iterator(top / folder)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h"))
                continue;
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) {
                std::erase_if(line, [](char c) { return c == ' ' || c == '\t'; });
                if (line.rfind("#include\"", 0) != 0 || line.find('/') == std::string::npos)
                    continue;
                const std::string header = line.substr(9, line.find('"', 9) - 9);
                const std::string to = header.substr(0, header.find('/'));
                if (kFolders.count(to) && to != folder)
                    found.push_back({fs::relative(entry.path(), top).string(), header, folder, to});
            }
        }
    }
    return found;
}

// folder -> folder it includes -> one file that does it (for the message)
using Graph = std::map<std::string, std::map<std::string, std::string>>;

Graph includeGraph(const std::vector<Include> &includes)
{
    Graph graph;
    for (const std::string &folder : kFolders)
        graph[folder];
    for (const Include &i : includes)
        graph[i.from].emplace(i.to, i.file);
    return graph;
}

// The folders that folder reaches through includes, itself only on a cycle.
std::set<std::string> reached(const Graph &graph, const std::string &folder)
{
    std::set<std::string> seen;
    std::vector<std::string> todo = {folder};
    while (!todo.empty()) {
        const std::string at = todo.back();
        todo.pop_back();
        for (const auto &[next, file] : graph.at(at)) {
            if (seen.insert(next).second)
                todo.push_back(next);
        }
    }
    return seen;
}

} // namespace

TEST(Layout, EachFolderIncludesOnlyWhatItMay)
{
    ASSERT_TRUE(fs::exists(fs::path(SONABEL_SOURCE_DIR) / "player/Player.cpp"));
    for (const Include &i : includesAcrossFolders()) {
        const std::string what = i.file + " includes " + i.header;
        if (i.from == "engine")
            ADD_FAILURE() << what << ": the engine stands alone";
        if (i.from == "tools" && i.to != "engine")
            ADD_FAILURE() << what << ": a tool uses only the engine";
        // The media player on the session bus is the program's business only,
        // and it sees the Player, not the window.
        if (i.to == "mpris" && i.from != "app")
            ADD_FAILURE() << what;
        if (i.from == "mpris" && i.to == "ui")
            ADD_FAILURE() << what;
        // The Player holds no widget: it includes nothing of the window.
        if (i.file.rfind("player/Player.", 0) == 0 && i.to == "ui")
            ADD_FAILURE() << what;
        // The thin layers use of the engine only its check that a file is a
        // regular one before it is read.
        if ((i.from == "platform" || i.from == "settings") && i.to != "platform" &&
            i.header != "engine/RegularFile.h")
            ADD_FAILURE() << what;
    }
}

TEST(Layout, NoFolderIncludesOneThatIncludesIt)
{
    const Graph graph = includeGraph(includesAcrossFolders());
    ASSERT_TRUE(graph.at("app").count("ui")) << "the scan sees no includes";
    for (const auto &[folder, edges] : graph) {
        if (reached(graph, folder).count(folder)) {
            std::string text;
            for (const auto &[to, file] : edges)
                text += " " + to + " (" + file + ")";
            ADD_FAILURE() << folder << "/ includes itself through:" << text;
        }
    }
    // The check sees a circle.
    Graph circle{{"a", {{"b", "a/x.cpp"}}}, {"b", {{"c", "b/y.cpp"}}}, {"c", {{"a", "c/z.cpp"}}}};
    EXPECT_TRUE(reached(circle, "b").count("b"));
    circle["c"].clear();
    EXPECT_FALSE(reached(circle, "a").count("a"));
}

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

const std::vector<std::string> kFolders = {"app",      "engine",   "mpris", "platform", "player",
                                           "playlist", "settings", "tools", "ui"};

// folder -> folder it includes -> one file that does it (for the message)
using Graph = std::map<std::string, std::map<std::string, std::string>>;

Graph includeGraph()
{
    const fs::path top = SONABEL_SOURCE_DIR;
    const std::set<std::string> known(kFolders.begin(), kFolders.end());
    Graph graph;
    for (const std::string &folder : kFolders) {
        graph[folder];
        if (!fs::is_directory(top / folder))
            continue;
        for (const auto &entry : fs::recursive_directory_iterator(top / folder)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h"))
                continue;
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) {
                // #include "engine/MidiFile.h" gives "engine"; other lines nothing known.
                std::erase_if(line, [](char c) { return c == ' ' || c == '\t'; });
                const size_t slash = line.find('/');
                const std::string to =
                    line.rfind("#include\"", 0) == 0 && slash != std::string::npos
                        ? line.substr(9, slash - 9)
                        : std::string();
                if (known.count(to) && to != folder)
                    graph[folder].emplace(to, fs::relative(entry.path(), top).string());
            }
        }
    }
    return graph;
}

// The engine's headers that the files of folder include.
std::set<std::string> engineHeadersIncluded(const std::string &folder)
{
    std::set<std::string> headers;
    for (const auto &entry :
         fs::recursive_directory_iterator(fs::path(SONABEL_SOURCE_DIR) / folder)) {
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            std::erase_if(line, [](char c) { return c == ' ' || c == '\t'; });
            if (line.rfind("#include\"engine/", 0) == 0)
                headers.insert(line.substr(9, line.find('"', 9) - 9));
        }
    }
    return headers;
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

TEST(Layout, EngineAndToolsStayApart)
{
    const Graph graph = includeGraph();
    for (const auto &[to, file] : graph.at("engine"))
        ADD_FAILURE() << file << " (engine) includes from " << to << "/";
    for (const auto &[to, file] : graph.at("tools")) {
        if (to != "engine")
            ADD_FAILURE() << file << " (a tool) includes from " << to << "/";
    }
    // The media player on the session bus is the program's business only,
    // and it sees the Player, not the window.
    for (const auto &[from, edges] : graph) {
        if (from != "app" && edges.count("mpris"))
            ADD_FAILURE() << edges.at("mpris") << " includes from mpris/";
    }
    if (graph.at("mpris").count("ui"))
        ADD_FAILURE() << graph.at("mpris").at("ui") << " (the media bus) includes from ui/";
    // The thin layers use of the engine only its check that a file is a
    // regular one before it is read.
    for (const char *folder : {"platform", "settings"}) {
        for (const auto &[to, file] : graph.at(folder)) {
            if (to != "platform" && to != "engine")
                ADD_FAILURE() << file << " includes from " << to << "/";
        }
        for (const std::string &header : engineHeadersIncluded(folder)) {
            if (header != "engine/RegularFile.h")
                ADD_FAILURE() << folder << "/ includes " << header;
        }
    }
}

TEST(Layout, NoFolderIncludesOneThatIncludesIt)
{
    const Graph graph = includeGraph();
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

// The Player holds no widget: it includes nothing of the window.
TEST(Layout, ThePlayerSeesNoWindow)
{
    for (const char *name : {"player/Player.h", "player/Player.cpp"}) {
        std::ifstream in(fs::path(SONABEL_SOURCE_DIR) / name);
        ASSERT_TRUE(in.is_open()) << name;
        for (std::string line; std::getline(in, line);)
            EXPECT_EQ(line.find("#include \"ui/"), std::string::npos) << name << ": " << line;
    }
}

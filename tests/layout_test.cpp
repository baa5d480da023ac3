// The folders are the architecture: the engine stands alone, the tools use
// only the engine, and no folder reaches back into one that includes it.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kFolders = {"app",      "engine",   "platform", "player",
                                           "playlist", "settings", "tools",    "ui"};

// folder -> folder it includes -> one file that does it (for the message)
using Graph = std::map<std::string, std::map<std::string, std::string>>;

// "engine" for a line #include "engine/MidiFile.h"; empty for anything else.
std::string includedFolder(const std::string &line)
{
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line[at] != '#')
        return {};
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line.compare(at, 7, "include") != 0)
        return {};
    at = line.find_first_not_of(" \t", at + 7);
    if (at == std::string::npos || line[at] != '"')
        return {};
    const size_t slash = line.find('/', at);
    const size_t close = line.find('"', at + 1);
    if (slash == std::string::npos || close < slash)
        return {};
    return line.substr(at + 1, slash - at - 1);
}

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
            std::string line;
            while (std::getline(in, line)) {
                const std::string to = includedFolder(line);
                if (known.count(to) && to != folder)
                    graph[folder].emplace(to, fs::relative(entry.path(), top).string());
            }
        }
    }
    return graph;
}

// A path of folders that leads back to its start, or empty.
std::vector<std::string> findCycle(const Graph &graph)
{
    std::map<std::string, int> state; // 0 new, 1 on the path, 2 done
    std::vector<std::string> path;
    std::vector<std::string> cycle;
    std::function<bool(const std::string &)> visit = [&](const std::string &node) {
        state[node] = 1;
        path.push_back(node);
        for (const auto &[next, file] : graph.at(node)) {
            if (state[next] == 1) {
                auto from = std::find(path.begin(), path.end(), next);
                cycle.assign(from, path.end());
                cycle.push_back(next);
                return true;
            }
            if (state[next] == 0 && visit(next))
                return true;
        }
        path.pop_back();
        state[node] = 2;
        return false;
    };
    for (const auto &[node, edges] : graph) {
        if (state[node] == 0 && visit(node))
            return cycle;
    }
    return {};
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
    for (const char *folder : {"platform", "settings"}) {
        for (const auto &[to, file] : graph.at(folder)) {
            if (to != "platform")
                ADD_FAILURE() << file << " includes from " << to << "/";
        }
    }
}

TEST(Layout, NoFolderIncludesOneThatIncludesIt)
{
    const Graph graph = includeGraph();
    const std::vector<std::string> cycle = findCycle(graph);
    if (!cycle.empty()) {
        std::string text;
        for (size_t i = 0; i + 1 < cycle.size(); ++i)
            text += cycle[i] + " (" + graph.at(cycle[i]).at(cycle[i + 1]) + ") -> ";
        ADD_FAILURE() << "folders include each other: " << text << cycle.back();
    }
}

TEST(Layout, CycleCheckSeesACircle)
{
    Graph graph{{"a", {{"b", "a/x.cpp"}}}, {"b", {{"c", "b/y.cpp"}}}, {"c", {{"a", "c/z.cpp"}}}};
    EXPECT_EQ(findCycle(graph), (std::vector<std::string>{"a", "b", "c", "a"}));
    graph["c"].clear();
    EXPECT_TRUE(findCycle(graph).empty());
}
